// The promotion rule: promote, hold, or ask for more sessions.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "generator/chacha_rng.hpp"

namespace velmora::promotion {

// Fewer sessions than this on either arm are too few to judge; 20 is enough.
inline constexpr std::uint64_t MIN_SESSIONS_PER_ARM = 20;
// Monte Carlo iterations behind every decision.
inline constexpr std::uint32_t DECISION_SAMPLES = 10000;
// A posterior at or above this promotes: with 10000 samples, at least 9500 wins.
inline constexpr double PROMOTE_THRESHOLD = 0.95;

inline constexpr std::string_view OUTCOME_NEED_MORE_DATA = "need_more_data";
inline constexpr std::string_view OUTCOME_PROMOTE = "promote";
inline constexpr std::string_view OUTCOME_HOLD = "hold";

struct Decision {
    std::string_view outcome;    // one of the OUTCOME_ texts above
    double posterior;            // P(challenger better), or 0.0 when the data do not suffice
    std::uint64_t sessions_each; // the smaller of the two arms' session counts

    friend bool operator==(const Decision&, const Decision&) = default;
};

// Draws from `generator` only when both arms hold enough sessions.
Decision promotion_decision(std::span<const double> champion, std::span<const double> challenger,
                            ChaChaRng& generator);

} // namespace velmora::promotion
