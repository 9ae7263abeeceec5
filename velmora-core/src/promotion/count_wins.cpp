#include "promotion/count_wins.hpp"

namespace velmora::promotion {

std::uint32_t count_wins(const BetaSampler& champion, const BetaSampler& challenger,
                         std::uint32_t samples, ChaChaRng& generator) {
    std::uint32_t wins = 0;
    for (std::uint32_t i = 0; i < samples; ++i) {
        // The champion always draws first: the order fixes which sampler sees which words.
        const double champion_draw = champion.sample(generator);
        const double challenger_draw = challenger.sample(generator);
        // Strict: a tie or a NaN on either side is no win.
        if (challenger_draw > champion_draw) {
            ++wins;
        }
    }
    return wins;
}

} // namespace velmora::promotion
