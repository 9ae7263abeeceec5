// Success and failure counts of one arm's per-session outcome scores.
#pragma once

#include <cstdint>
#include <span>

namespace velmora::promotion {

// A session counts as a success when its score is at least this; NaN is a failure.
inline constexpr double SUCCESS_THRESHOLD = 0.5;

// An ordered comparison, so a NaN score is never a success.
inline constexpr bool is_success(double score) {
    return score >= SUCCESS_THRESHOLD;
}

// 64-bit counts: an arm may hold 2^32 sessions or more, and 32-bit counts would wrap silently
// and hand the sampler a wrong posterior.
struct ArmCounts {
    std::uint64_t successes;
    std::uint64_t failures;

    friend bool operator==(const ArmCounts&, const ArmCounts&) = default;
};

ArmCounts count_successes(std::span<const double> scores);

} // namespace velmora::promotion
