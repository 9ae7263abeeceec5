// How the batched loop reproduces the reference loop exactly.
//
// Every attempt of either sampler takes exactly one pair (u1, u2) from the generator, and
// whether an attempt on a pair is accepted, and with which variate, depends on the pair and the
// sampler alone. So a block of pairs is drawn ahead, the attempt of each sampler is evaluated on
// every pair of the block (vector lanes, no waiting on earlier attempts), and a short sequential
// pass then hands the pairs out as the reference loop would: the champion takes pairs until one
// of its attempts is accepted, then the challenger from the next pair on, and so on.
//
// A block never holds more pairs than the remaining iterations are certain to use (each takes at
// least two), so every pair drawn is used and the generator ends exactly where the reference
// loop leaves it. The last few iterations, too few to fill a vector, run the reference loop.
#include "promotion/count_wins_batched.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>

#include "random/beta_attempts.hpp"

namespace velmora::promotion {

namespace {

// Where the sequential pass stands between blocks: an iteration may straddle two blocks.
struct Tally {
    std::uint32_t remaining;
    std::uint32_t wins = 0;
    bool champion_drawn = false;
    double champion_draw = 0.0;
};

// The accepted pairs of one 64-pair word at or after bit `from` (0 to 64).
std::uint64_t accepted_from(std::uint64_t word, unsigned from) {
    return from < 64 ? word & (~std::uint64_t{0} << from) : 0;
}

// Hands the block's pairs to the champion and the challenger in turn, until every pair is used.
// The block is never larger than the remaining iterations need, so they do not run out first.
// This is the one sequential part of the loop, so it works a 64-pair word at a time from
// registers: finding the next accepted pair is a shift, a mask and a count of trailing zeros.
void hand_out(const AttemptOutcomes& champion, const AttemptOutcomes& challenger, std::size_t count,
              Tally& tally) {
    std::uint32_t remaining = tally.remaining;
    std::uint32_t wins = tally.wins;
    bool champion_drawn = tally.champion_drawn;
    double champion_draw = tally.champion_draw;
    for (std::size_t word = 0; word * 64 < count && remaining > 0; ++word) {
        const std::uint64_t champion_bits = champion.accepted[word];
        const std::uint64_t challenger_bits = challenger.accepted[word];
        const double* champion_values = champion.value.data() + 64 * word;
        const double* challenger_values = challenger.value.data() + 64 * word;
        unsigned next = 0;
        while (remaining > 0) {
            if (!champion_drawn) {
                const std::uint64_t pending = accepted_from(champion_bits, next);
                if (pending == 0) {
                    break;
                }
                const auto taken = static_cast<unsigned>(std::countr_zero(pending));
                champion_draw = champion_values[taken];
                champion_drawn = true;
                next = taken + 1;
            }
            const std::uint64_t pending = accepted_from(challenger_bits, next);
            if (pending == 0) {
                break;
            }
            const auto taken = static_cast<unsigned>(std::countr_zero(pending));
            // Strict: a tie or a NaN on either side is no win.
            wins += challenger_values[taken] > champion_draw ? 1 : 0;
            champion_drawn = false;
            --remaining;
            next = taken + 1;
        }
    }
    tally = Tally{remaining, wins, champion_drawn, champion_draw};
}

// The pairs the rest of the loop is certain to use, in whole granules and at most a block: each
// iteration takes at least two, one less when the champion has already drawn.
std::size_t pairs_certainly_used(const Tally& tally) {
    const std::size_t at_least =
        2 * static_cast<std::size_t>(tally.remaining) - (tally.champion_drawn ? 1 : 0);
    return std::min(ATTEMPT_BLOCK_PAIRS, at_least / ATTEMPT_BATCH_GRANULE * ATTEMPT_BATCH_GRANULE);
}

// The reference loop's steps for the iterations left, from wherever the tally stands.
void finish_one_by_one(const BetaSampler& champion, const BetaSampler& challenger,
                       ChaChaRng& generator, Tally& tally) {
    while (tally.remaining > 0) {
        if (!tally.champion_drawn) {
            tally.champion_draw = champion.sample(generator);
        }
        tally.wins += challenger.sample(generator) > tally.champion_draw ? 1 : 0;
        tally.champion_drawn = false;
        --tally.remaining;
    }
}

void draw_pairs(ChaChaRng& generator, UniformPairs& pairs, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        // u1 first, as every attempt draws them.
        pairs.u1[i] = generator.uniform_open01();
        pairs.u2[i] = generator.uniform_open01();
    }
    pairs.count = count;
}

} // namespace

std::uint32_t count_wins_batched(const BetaSampler& champion, const BetaSampler& challenger,
                                 std::uint32_t samples, ChaChaRng& generator) {
    return count_wins_batched(champion, challenger, samples, generator, active_vector_kernels());
}

std::uint32_t count_wins_batched(const BetaSampler& champion, const BetaSampler& challenger,
                                 std::uint32_t samples, ChaChaRng& generator,
                                 const VectorKernels& kernels) {
    const std::array<BetaConstants, 2> constants = {BetaConstants::of(champion),
                                                    BetaConstants::of(challenger)};
    // Equal posteriors decide every pair alike: evaluate once, use twice.
    const std::size_t distinct = constants[0].identical_to(constants[1]) ? 1 : 2;

    UniformPairs pairs;
    std::array<AttemptOutcomes, 2> outcomes;
    Tally tally{.remaining = samples};
    for (std::size_t count = pairs_certainly_used(tally); count > 0;
         count = pairs_certainly_used(tally)) {
        draw_pairs(generator, pairs, count);
        kernels.attempts(std::span(constants).first(distinct), pairs,
                         std::span(outcomes).first(distinct));
        hand_out(outcomes[0], outcomes[distinct - 1], count, tally);
    }
    finish_one_by_one(champion, challenger, generator, tally);
    return tally.wins;
}

} // namespace velmora::promotion
