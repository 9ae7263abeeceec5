// A Beta sampler's algorithm and precomputed constants as plain data: what the reference
// sampler computes with, and the form the lane kernels read.
#pragma once

#include <bit>
#include <cstdint>

namespace velmora {

class BetaSampler;

// Cheng's rejection algorithms: BB when both shape parameters exceed 1, BC otherwise.
enum class BetaAlgorithm { BB, BC };

// ln 4 and ln 5 as both algorithms use them: the doubles nearest the exact values, fixed by
// their bit patterns so that no compiler or parser can round them differently.
inline constexpr double LN_4 = std::bit_cast<double>(std::uint64_t{0x3FF62E42FEFA39EF});
inline constexpr double LN_5 = std::bit_cast<double>(std::uint64_t{0x3FF9C041F7ED8D33});

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

} // namespace velmora
