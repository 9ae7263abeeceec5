#include "promotion/promotion_decision.hpp"

#include <algorithm>

#include "promotion/posterior_probability.hpp"

namespace velmora::promotion {

Decision promotion_decision(std::span<const double> champion, std::span<const double> challenger,
                            ChaChaRng& generator) {
    return promotion_decision(count_successes(champion), count_successes(challenger), generator);
}

Decision promotion_decision(const ArmCounts& champion, const ArmCounts& challenger,
                            ChaChaRng& generator) {
    const std::uint64_t champion_sessions = champion.successes + champion.failures;
    const std::uint64_t challenger_sessions = challenger.successes + challenger.failures;
    const std::uint64_t sessions_each = std::min(champion_sessions, challenger_sessions);
    if (champion_sessions < MIN_SESSIONS_PER_ARM || challenger_sessions < MIN_SESSIONS_PER_ARM) {
        return Decision{OUTCOME_NEED_MORE_DATA, 0.0, sessions_each};
    }
    const double posterior =
        posterior_probability(champion, challenger, DECISION_SAMPLES, generator);
    const std::string_view outcome =
        posterior >= PROMOTE_THRESHOLD ? OUTCOME_PROMOTE : OUTCOME_HOLD;
    return Decision{outcome, posterior, sessions_each};
}

} // namespace velmora::promotion
