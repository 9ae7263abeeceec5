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

#include "isa/kernel_table.hpp"
#include "promotion/compact_values.hpp"
#include "sampler/attempt_block.hpp"

namespace velmora::promotion {

namespace {

// Where the sequential pass stands between blocks: an iteration may straddle two blocks.
struct Tally {
    std::uint32_t remaining;
    std::uint32_t wins = 0;
    bool champion_drawn = false;
    double champion_draw = 0.0;
};

// Whose turn it is at each of 64 pairs (bit set: the challenger's), given whose turn it is at
// the first. The turn passes on at a pair when the sampler whose turn it is accepts there:
// after pair i it is the challenger's if the champion's turn met an accepted champion attempt,
// or the challenger's turn a rejected challenger attempt. Each pair is thus the map
// turn -> a ^ (turn & ~(a ^ b)) (a, b: the pair's acceptance bits), and the turns at all 64
// pairs are prefix compositions of these maps, found in six doubling steps instead of 64
// dependent ones.
std::uint64_t turns(std::uint64_t champion_bits, std::uint64_t challenger_bits,
                    bool challenger_first) {
    // Bit i of (offset, keeps): the composition of the maps of pairs 0 to i is
    // turn -> offset_i ^ (turn & keeps_i).
    std::uint64_t offset = champion_bits;
    std::uint64_t keeps = ~(champion_bits ^ challenger_bits);
    for (unsigned step = 1; step < 64; step *= 2) {
        const std::uint64_t below = (std::uint64_t{1} << step) - 1; // identity maps shift in
        offset ^= keeps & (offset << step);
        keeps &= (keeps << step) | below;
    }
    const std::uint64_t after = offset ^ (challenger_first ? keeps : 0);
    return (after << 1) | (challenger_first ? 1 : 0);
}

// Hands the block's pairs to the champion and the challenger in turn. The block is never larger
// than the remaining iterations need, so they do not run out first. The turns at all pairs of a
// 64-pair word come from bit operations; then the champion's draws are the accepted champion
// attempts on its turns, the challenger's likewise, and they alternate, so the k-th draw of
// each (after one carried over from the previous word) make the k-th iteration.
void hand_out(CompactFn values_at, const AttemptOutcomes& champion,
              const AttemptOutcomes& challenger, std::size_t count, Tally& tally) {
    std::uint32_t remaining = tally.remaining;
    std::uint32_t wins = tally.wins;
    bool champion_drawn = tally.champion_drawn;
    // Slot 0 holds a champion draw carried over, the word's draws follow.
    std::array<double, 65 + COMPACT_SLACK> champion_draws;
    std::array<double, 64 + COMPACT_SLACK> challenger_draws;
    champion_draws[0] = tally.champion_draw;
    for (std::size_t word = 0; word * 64 < count; ++word) {
        // Only the block's own pairs: a kernel leaves the bits past them unspecified.
        const std::size_t pairs_in_word = std::min<std::size_t>(64, count - 64 * word);
        const std::uint64_t valid =
            pairs_in_word == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << pairs_in_word) - 1;
        const std::uint64_t champion_bits = champion.accepted[word] & valid;
        const std::uint64_t challenger_bits = challenger.accepted[word] & valid;
        const std::uint64_t turn = turns(champion_bits, challenger_bits, champion_drawn);
        const std::size_t carried = champion_drawn ? 1 : 0;
        const std::size_t champion_count =
            carried + values_at(champion_bits & ~turn, champion.value.data() + 64 * word,
                                champion_draws.data() + carried);
        const std::size_t iterations = values_at(
            challenger_bits & turn, challenger.value.data() + 64 * word, challenger_draws.data());
        for (std::size_t k = 0; k < iterations; ++k) {
            // Strict: a tie or a NaN on either side is no win.
            wins += challenger_draws[k] > champion_draws[k] ? 1 : 0;
        }
        remaining -= static_cast<std::uint32_t>(iterations);
        // At most one champion draw is left waiting for the next word's challenger.
        champion_drawn = champion_count > iterations;
        if (champion_drawn) {
            champion_draws[0] = champion_draws[champion_count - 1];
        }
    }
    tally = Tally{remaining, wins, champion_drawn, champion_draws[0]};
}

// The pairs the rest of the loop is certain to use, in whole granules and at most a block: each
// iteration takes at least two, one less when the champion has already drawn.
std::size_t pairs_certainly_used(const Tally& tally) {
    const std::size_t at_least =
        2 * static_cast<std::size_t>(tally.remaining) - (tally.champion_drawn ? 1 : 0);
    return std::min(ATTEMPT_BLOCK_PAIRS, at_least / ATTEMPT_BATCH_GRANULE * ATTEMPT_BATCH_GRANULE);
}

// The reference loop's steps for the iterations left, from wherever the tally stands. False
// when `stopped` says so between two of them.
template <typename Stopped>
bool finish_one_by_one(const BetaSampler& champion, const BetaSampler& challenger,
                       ChaChaRng& generator, Tally& tally, Stopped& stopped) {
    while (tally.remaining > 0) {
        if (!tally.champion_drawn) {
            tally.champion_draw = champion.sample(generator);
        }
        tally.wins += challenger.sample(generator) > tally.champion_draw ? 1 : 0;
        tally.champion_drawn = false;
        --tally.remaining;
        if (stopped(tally)) {
            return false;
        }
    }
    return true;
}

void draw_pairs(ChaChaRng& generator, UniformPairs& pairs, std::size_t count) {
    // u1 first, as every attempt draws them.
    generator.fill_uniform_pairs(pairs.u1.data(), pairs.u2.data(), count);
    pairs.count = count;
}

// The whole loop over one tally: blocks while they can be filled, then the reference steps.
// False when `stopped`, asked after every block and step, says so; one pass over all the
// iterations, whatever the checks, so that the blocks always line up with the generator's wide
// refills as in a single uninterrupted loop, and the one-by-one tail runs once, at the end.
template <typename Stopped>
bool count_into(const BetaSampler& champion, const BetaSampler& challenger, ChaChaRng& generator,
                const VectorKernels& kernels, Tally& tally, Stopped& stopped) {
    const std::array<BetaConstants, 2> constants = {BetaConstants::of(champion),
                                                    BetaConstants::of(challenger)};
    // Equal posteriors decide every pair alike: evaluate once, use twice.
    const std::size_t distinct = constants[0].identical_to(constants[1]) ? 1 : 2;

    UniformPairs pairs;
    std::array<AttemptOutcomes, 2> outcomes;
    for (std::size_t count = pairs_certainly_used(tally); count > 0;
         count = pairs_certainly_used(tally)) {
        draw_pairs(generator, pairs, count);
        kernels.attempts(std::span(constants).first(distinct), pairs,
                         std::span(outcomes).first(distinct));
        hand_out(kernels.compact, outcomes[0], outcomes[distinct - 1], count, tally);
        if (stopped(tally)) {
            return false;
        }
    }
    return finish_one_by_one(champion, challenger, generator, tally, stopped);
}

} // namespace

std::uint32_t count_wins_batched(const BetaSampler& champion, const BetaSampler& challenger,
                                 std::uint32_t samples, ChaChaRng& generator) {
    return count_wins_batched(champion, challenger, samples, generator, active_vector_kernels());
}

std::uint32_t count_wins_batched(const BetaSampler& champion, const BetaSampler& challenger,
                                 std::uint32_t samples, ChaChaRng& generator,
                                 const VectorKernels& kernels) {
    Tally tally{.remaining = samples};
    auto never = [](const Tally&) { return false; };
    count_into(champion, challenger, generator, kernels, tally, never);
    return tally.wins;
}

std::optional<std::uint32_t> count_wins_batched(const BetaSampler& champion,
                                                const BetaSampler& challenger,
                                                std::uint32_t samples, ChaChaRng& generator,
                                                InterruptCheck should_stop,
                                                std::uint32_t check_interval) {
    Tally tally{.remaining = samples};
    // 64 bits: the last check point may lie past the largest 32-bit count.
    std::uint64_t next_check = check_interval;
    // Asked once the iterations done reach each multiple of the interval, and only while some
    // are left: a call that has finished has nothing to stop. A block holds at most
    // ATTEMPT_BLOCK_PAIRS / 2 iterations, so an interval at least that long skips no multiple;
    // a shorter one is asked at most once per block.
    auto stopped = [&](const Tally& t) {
        const std::uint32_t done = samples - t.remaining;
        if (t.remaining == 0 || done < next_check) {
            return false;
        }
        next_check = (std::uint64_t{done} / check_interval + 1) * check_interval;
        return should_stop();
    };
    if (!count_into(champion, challenger, generator, active_vector_kernels(), tally, stopped)) {
        return std::nullopt;
    }
    return tally.wins;
}

} // namespace velmora::promotion
