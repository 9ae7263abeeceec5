// Stream words to uniform doubles strictly inside (0, 1), a whole pair of draws at a time, behind
// one narrow function pointer so that a vector variant can replace the scalar loop.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace velmora {

// The top 52 bits of word as an odd multiple of 2^-53 in [2^-53, 1 - 2^-53]. Subtracting
// 1 - 2^-53 (rather than 1) shifts the grid by half a step; exact in doubles.
inline double open01_from_word(std::uint64_t word) {
    const double in_one_two =
        std::bit_cast<double>(std::uint64_t{0x3FF0000000000000} | (word >> 12));
    return in_one_two - std::bit_cast<double>(std::uint64_t{0x3FEFFFFFFFFFFFFF});
}

// Pair i of count from words 4i to 4i + 3: u1[i] from the first two (the earlier word the low
// half), u2[i] from the next two, as two consecutive draws take them. Every implementation must
// give exactly the doubles of uniform_pairs_scalar.
using UniformPairsFn = void (*)(const std::uint32_t* words, double* u1, double* u2,
                                std::size_t count);

void uniform_pairs_scalar(const std::uint32_t* words, double* u1, double* u2, std::size_t count);

} // namespace velmora
