#include "random/chacha_refill.hpp"

#include <bit>
#include <cstddef>

namespace velmora {
namespace {

// "expand 32-byte k" as four little-endian words.
constexpr std::array<std::uint32_t, 4> constant_row = {0x61707865, 0x3320646E, 0x79622D32,
                                                       0x6B206574};
constexpr int double_rounds = 4; // 8 rounds in all

using Block = std::array<std::uint32_t, 16>;

void quarter_round(Block& x, std::size_t a, std::size_t b, std::size_t c, std::size_t d) {
    x[a] += x[b];
    x[d] = std::rotl(x[d] ^ x[a], 16);
    x[c] += x[d];
    x[b] = std::rotl(x[b] ^ x[c], 12);
    x[a] += x[b];
    x[d] = std::rotl(x[d] ^ x[a], 8);
    x[c] += x[d];
    x[b] = std::rotl(x[b] ^ x[c], 7);
}

Block input_state(const ChaChaKey& key, std::uint64_t block_counter, const ChaChaStream& stream) {
    Block state{};
    for (std::size_t i = 0; i < 4; ++i) {
        state[i] = constant_row[i];
    }
    for (std::size_t i = 0; i < 8; ++i) {
        state[4 + i] = key[i];
    }
    state[12] = static_cast<std::uint32_t>(block_counter);
    state[13] = static_cast<std::uint32_t>(block_counter >> 32);
    state[14] = stream[0];
    state[15] = stream[1];
    return state;
}

void write_block(const ChaChaKey& key, std::uint64_t block_counter, const ChaChaStream& stream,
                 std::uint32_t* out) {
    const Block input = input_state(key, block_counter, stream);
    Block x = input;
    for (int i = 0; i < double_rounds; ++i) {
        quarter_round(x, 0, 4, 8, 12);
        quarter_round(x, 1, 5, 9, 13);
        quarter_round(x, 2, 6, 10, 14);
        quarter_round(x, 3, 7, 11, 15);
        quarter_round(x, 0, 5, 10, 15);
        quarter_round(x, 1, 6, 11, 12);
        quarter_round(x, 2, 7, 8, 13);
        quarter_round(x, 3, 4, 9, 14);
    }
    for (std::size_t k = 0; k < x.size(); ++k) {
        out[k] = x[k] + input[k];
    }
}

} // namespace

void refill_scalar(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                   ChaChaBuffer& out) {
    for (std::uint64_t j = 0; j < 4; ++j) {
        // Unsigned arithmetic wraps, so the block after 2^64 - 1 is block 0.
        write_block(key, counter + j, stream, out.data() + 16 * j);
    }
}

RefillFn active_refill() {
    // Vector variants register here, best first, each guarded by a processor-feature check.
    static const RefillFn chosen = refill_scalar;
    return chosen;
}

} // namespace velmora
