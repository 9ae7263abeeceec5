// How the batched loop reproduces the reference loop exactly.
//
// Every attempt of either sampler takes exactly one pair (u1, u2) from the generator, and
// whether an attempt on a pair is accepted, and with which variate, depends on the pair and the
// sampler alone. So a block of pairs is drawn ahead, the attempt of each sampler is evaluated on
// every pair of the block (vector lanes, no waiting on earlier attempts), and a short sequential
// pass then hands the pairs out as the reference loop would: the champion takes pairs until one
// of its attempts is accepted, then the challenger from the next pair on, and so on. Pairs that
// the pass never reaches are given back by rewinding the generator to where the pass stopped.
#include "promotion/count_wins_batched.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>

#include "random/beta_attempts.hpp"

namespace velmora::promotion {

namespace {

// Pairs per block: enough to keep the vector lanes busy, small enough to stay in L1 (8 KiB of
// uniforms and variates) and to waste little work past the last iteration.
constexpr std::size_t BLOCK_PAIRS = 256;
constexpr std::size_t BLOCK_WORDS = BLOCK_PAIRS / 64;

struct Decisions {
    alignas(64) std::array<double, BLOCK_PAIRS> value;
    std::array<std::uint64_t, BLOCK_WORDS> accepted;
};

struct PairBlock {
    alignas(64) std::array<double, BLOCK_PAIRS> u1;
    alignas(64) std::array<double, BLOCK_PAIRS> u2;
    std::size_t count = 0;
};

// Where the sequential pass stands between blocks: an iteration may straddle two blocks.
struct Tally {
    std::uint32_t remaining;
    std::uint32_t wins = 0;
    bool champion_drawn = false;
    double champion_draw = 0.0;
};

// The first accepted pair at or after `from`, or `count` when the block has none left.
std::size_t next_accepted(const Decisions& d, std::size_t from, std::size_t count) {
    if (from >= count) {
        return count;
    }
    std::size_t word = from / 64;
    std::uint64_t pending = d.accepted[word] & (~std::uint64_t{0} << (from % 64));
    while (pending == 0) {
        ++word;
        if (word * 64 >= count) {
            return count;
        }
        pending = d.accepted[word];
    }
    return word * 64 + static_cast<std::size_t>(std::countr_zero(pending));
}

// Hands the block's pairs to the champion and the challenger in turn. Returns how many pairs
// the iterations used; fewer than block.count only when the last iteration finished.
std::size_t hand_out(const Decisions& champion, const Decisions& challenger, std::size_t count,
                     Tally& tally) {
    std::size_t next = 0;
    while (tally.remaining > 0) {
        if (!tally.champion_drawn) {
            const std::size_t taken = next_accepted(champion, next, count);
            if (taken == count) {
                return count;
            }
            tally.champion_draw = champion.value[taken];
            tally.champion_drawn = true;
            next = taken + 1;
        }
        const std::size_t taken = next_accepted(challenger, next, count);
        if (taken == count) {
            return count;
        }
        // Strict: a tie or a NaN on either side is no win.
        tally.wins += challenger.value[taken] > tally.champion_draw ? 1 : 0;
        tally.champion_drawn = false;
        --tally.remaining;
        next = taken + 1;
    }
    return next;
}

// Pairs worth drawing for the rest of the loop: each iteration needs at least two (three when
// the champion must still draw), and rejections add a few more; the block size caps it.
std::size_t pairs_to_draw(const Tally& tally) {
    const std::size_t needed =
        2 * static_cast<std::size_t>(tally.remaining) + (tally.champion_drawn ? 0 : 1);
    const std::size_t granule = ATTEMPT_BATCH_GRANULE;
    return std::min(BLOCK_PAIRS, (needed + granule - 1) / granule * granule);
}

void draw_pairs(ChaChaRng& generator, PairBlock& block, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        // u1 first, as every attempt draws them.
        block.u1[i] = generator.uniform_open01();
        block.u2[i] = generator.uniform_open01();
    }
    block.count = count;
}

void decide(const VectorKernels& kernels, const BetaConstants& constants, const PairBlock& block,
            Decisions& out) {
    out.accepted.fill(0);
    kernels.attempts(constants, AttemptBatch{block.u1.data(), block.u2.data(), block.count,
                                             out.value.data(), out.accepted.data()});
}

} // namespace

std::uint32_t count_wins_batched(const BetaSampler& champion, const BetaSampler& challenger,
                                 std::uint32_t samples, ChaChaRng& generator) {
    return count_wins_batched(champion, challenger, samples, generator, active_vector_kernels());
}

std::uint32_t count_wins_batched(const BetaSampler& champion, const BetaSampler& challenger,
                                 std::uint32_t samples, ChaChaRng& generator,
                                 const VectorKernels& kernels) {
    const BetaConstants champion_constants = BetaConstants::of(champion);
    const BetaConstants challenger_constants = BetaConstants::of(challenger);
    // Equal posteriors decide every pair alike: evaluate once, use twice.
    const bool same_sampler = champion_constants.identical_to(challenger_constants);

    PairBlock block;
    Decisions champion_decisions;
    Decisions challenger_decisions;
    const Decisions& challenger_view = same_sampler ? champion_decisions : challenger_decisions;
    Tally tally{.remaining = samples};
    while (tally.remaining > 0) {
        const ChaChaRng block_start = generator;
        draw_pairs(generator, block, pairs_to_draw(tally));
        decide(kernels, champion_constants, block, champion_decisions);
        if (!same_sampler) {
            decide(kernels, challenger_constants, block, challenger_decisions);
        }
        const std::size_t used = hand_out(champion_decisions, challenger_view, block.count, tally);
        if (used < block.count) {
            // Give back the pairs drawn past the last iteration.
            generator = block_start;
            for (std::size_t i = 0; i < 2 * used; ++i) {
                generator.next_u64();
            }
        }
    }
    return tally.wins;
}

} // namespace velmora::promotion
