// The ChaCha block function's fixed layout and the refill: four blocks at a time behind one
// narrow function pointer, so that vector variants can be slotted in beside the reference one
// without touching the generator.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora {

// State words 0 to 3: "expand 32-byte k" as four little-endian words.
inline constexpr std::array<std::uint32_t, 4> CHACHA_CONSTANT_ROW = {0x61707865, 0x3320646E,
                                                                     0x79622D32, 0x6B206574};
// Eight rounds: four column rounds, each followed by a diagonal round.
inline constexpr int CHACHA_DOUBLE_ROUNDS = 4;

// State words 4 to 11: the key derived from the seed.
using ChaChaKey = std::array<std::uint32_t, 8>;
// State words 14 and 15.
using ChaChaStream = std::array<std::uint32_t, 2>;
// Four consecutive 16-word output blocks, lowest block counter first.
using ChaChaBuffer = std::array<std::uint32_t, 64>;

// Writes the blocks for counters counter, counter + 1, counter + 2 and counter + 3 (each
// modulo 2^64) into out. Every implementation must produce exactly the words of refill_scalar.
using RefillFn = void (*)(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                          ChaChaBuffer& out);

// Portable reference implementation; correct on every processor.
void refill_scalar(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                   ChaChaBuffer& out);

// Sixteen consecutive blocks: four refills' worth, for bulk draws that would otherwise refill
// four times in a row. Sixteen is what fills a 512-bit register with one word of every block.
using ChaChaWideBuffer = std::array<std::uint32_t, 256>;

// Writes the blocks for counters counter to counter + 15 (each modulo 2^64) into out: exactly
// the words of four refills at counter, counter + 4, counter + 8 and counter + 12.
using WideRefillFn = void (*)(const ChaChaKey& key, std::uint64_t counter,
                              const ChaChaStream& stream, ChaChaWideBuffer& out);

// Four calls of Refill; the wide refill of every level without one of its own.
template <RefillFn Refill>
void four_refills(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                  ChaChaWideBuffer& out) {
    for (std::size_t part = 0; part < 4; ++part) {
        ChaChaBuffer buffer;
        Refill(key, counter + 4 * part, stream, buffer);
        for (std::size_t k = 0; k < buffer.size(); ++k) {
            out[64 * part + k] = buffer[k];
        }
    }
}

} // namespace velmora
