// The reference refill: one block after another, one 32-bit word at a time, on every processor.
#include "generator/chacha_block.hpp"

#include <bit>

#include "isa/kernel_prerequisites.hpp"

#include "generator/chacha_rounds.hpp"

namespace velmora {
namespace {

struct ScalarWords {
    using word = std::uint32_t;
    static word add(word x, word y) { return x + y; }
    static word bit_xor(word x, word y) { return x ^ y; }
    template <int Bits>
    static word rotl(word x) {
        return std::rotl(x, Bits);
    }
};

chacha::Words<ScalarWords> input_state(const ChaChaKey& key, std::uint64_t block_counter,
                                       const ChaChaStream& stream) {
    chacha::Words<ScalarWords> state{};
    for (std::size_t i = 0; i < 4; ++i) {
        state[i] = CHACHA_CONSTANT_ROW[i];
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
    const auto block = chacha::block_words<ScalarWords>(input_state(key, block_counter, stream));
    for (std::size_t k = 0; k < block.size(); ++k) {
        out[k] = block[k];
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

} // namespace velmora
