// One rejection attempt of a Beta sampler, evaluated for many uniform pairs at once.
//
// Every attempt of either algorithm consumes exactly one pair (u1, u2), whatever happens in it.
// So the outcome of an attempt on a pair does not depend on which sampler ends up receiving the
// pair: a whole stretch of the stream can be evaluated ahead of time, many pairs side by side in
// vector lanes, and handed out afterwards.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "sampler/beta_constants.hpp"

namespace velmora {

// Pairs of uniforms per block: enough to keep the vector lanes busy, few enough to stay in the
// first-level cache and to index with 16 bits.
inline constexpr std::size_t ATTEMPT_BLOCK_PAIRS = 256;
// Blocks hold a whole number of these pairs, so every vector width divides them.
inline constexpr std::size_t ATTEMPT_BATCH_GRANULE = 8;

// A block of pairs (u1[i], u2[i]) in the order drawn, u1 first; count is a multiple of
// ATTEMPT_BATCH_GRANULE and at most ATTEMPT_BLOCK_PAIRS.
struct UniformPairs {
    alignas(64) std::array<double, ATTEMPT_BLOCK_PAIRS> u1;
    alignas(64) std::array<double, ATTEMPT_BLOCK_PAIRS> u2;
    std::size_t count = 0;
};

// One sampler's attempt on every pair of a block: bit i % 64 of accepted[i / 64] tells whether
// the attempt on pair i is accepted, and value[i] is then the variate it gives (unspecified for
// a rejected attempt). Bits and words past the block's pairs are unspecified too.
struct AttemptOutcomes {
    alignas(64) std::array<double, ATTEMPT_BLOCK_PAIRS> value;
    std::array<std::uint64_t, ATTEMPT_BLOCK_PAIRS / 64> accepted;
};

// Fills out[k] for samplers[k], one or two samplers. Evaluating both in one pass shares the
// logarithm of u1 / (1 - u1), which every attempt of either algorithm needs.
using AttemptKernel = void (*)(std::span<const BetaConstants> samplers, const UniformPairs& pairs,
                               std::span<AttemptOutcomes> out);

} // namespace velmora
