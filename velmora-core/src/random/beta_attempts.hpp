// One rejection attempt of a Beta sampler, evaluated for many uniform pairs at once.
//
// Every attempt of either algorithm consumes exactly one pair (u1, u2), whatever happens in it.
// So the outcome of an attempt on a pair does not depend on which sampler ends up receiving the
// pair: a whole stretch of the stream can be evaluated ahead of time, many pairs side by side in
// vector lanes, and handed out afterwards.
#pragma once

#include <cstddef>
#include <cstdint>

#include "random/beta_sampler.hpp"
#include "simd/cpu_level.hpp"

namespace velmora {

// ln 4 and ln 5 as the sampler uses them (the doubles nearest the exact values).
inline constexpr double LN_4 = 1.3862943611198906;
inline constexpr double LN_5 = 1.6094379124341003;

// A sampler's precomputed constants as plain data, the form the lane kernels read.
struct BetaConstants {
    BetaAlgorithm algorithm;
    bool switched;
    double a;
    double b;
    double alpha;
    double beta;
    double gamma;
    double kappa1;
    double kappa2;

    static BetaConstants of(const BetaSampler& sampler);

    // Same algorithm and bit-identical constants (NaN fields included): two such samplers make
    // the same decision on every pair.
    bool identical_to(const BetaConstants& other) const;
};

// `count` pairs (u1[i], u2[i]), a multiple of ATTEMPT_BATCH_GRANULE. For each pair i, value[i]
// receives the variate the attempt gives if it is accepted (unspecified otherwise), and bit
// i % 64 of accepted[i / 64] is set when it is accepted. `accepted` must start zeroed.
struct AttemptBatch {
    const double* u1;
    const double* u2;
    std::size_t count;
    double* value;
    std::uint64_t* accepted;
};

inline constexpr std::size_t ATTEMPT_BATCH_GRANULE = 8;

using AttemptKernel = void (*)(const BetaConstants& constants, AttemptBatch batch);

// The kernel built for `level`; call it only where cpu_supports(level).
AttemptKernel attempt_kernel_for(CpuLevel level);

// The lane-wise ln and exp inside the kernel of a level, over whole arrays (`count` a multiple
// of ATTEMPT_BATCH_GRANULE), so that tests can hold them to the scalar routines bit for bit.
using LaneMathFn = void (*)(const double* in, double* out, std::size_t count);
struct LaneMath {
    LaneMathFn ln;
    LaneMathFn exp;
};
LaneMath lane_math_for(CpuLevel level);

} // namespace velmora
