// Lane-wise attempts of both Beta algorithms: generic code over a level's lane type (the one of
// math/lane_math.hpp), built inside that level's target region. Each attempt performs the
// operations of BetaSampler's, in the same order, so every lane decides as the scalar sampler
// would on the same pair.
//
// Besides what lane_math.hpp asks of V, a lane type may provide, together,
//   compress_store(p, mask, v)   store the lanes of v selected by mask contiguously at p
//   deposit(bits, mask)          scatter the low bits of bits to the set positions of mask
// with which BB's last test runs only on the attempts the first two leave open.
#pragma once

#ifndef VELMORA_KERNEL_PREREQUISITES_INCLUDED
#error "include isa/kernel_prerequisites.hpp before the target region that includes this header"
#endif

namespace velmora::lanes {

template <class V>
concept HasCompress = requires(double* p, unsigned mask, typename V::vd v, std::uint64_t bits) {
    V::compress_store(p, mask, v);
    V::deposit(bits, bits);
};

template <class V>
struct BetaAttempts : ExactMath<V> {
    using vd = typename V::vd;
    using Math = ExactMath<V>;
    using Math::ALL_LANES;
    using Math::bits_of;
    using Math::exp;
    using Math::ln;
    using mask = typename Math::mask;
    using Math::load;
    using Math::select;
    using Math::splat;
    using Math::store;
    using Math::where;

    static VELMORA_LANE_INLINE vd result_from(const BetaConstants& c, vd w) {
        const vd denominator = c.b + w;
        if (c.switched) {
            return c.b / denominator;
        }
        return select(where(w == __builtin_inf()), splat(1.0), w / denominator);
    }

    // Runs `attempt(i)` for the vectors of the block, i the first pair of each, and stores the
    // acceptance bits it returns a 64-pair word at a time: accumulated in a register, not in
    // memory, where every vector would wait for the previous one's store.
    template <typename Attempt>
    static VELMORA_LANE_INLINE void for_each_vector(std::size_t count, AttemptOutcomes& out,
                                                    Attempt attempt) {
        for (std::size_t word = 0; 64 * word < count; ++word) {
            const std::size_t end = std::min(count, 64 * word + 64);
            std::uint64_t bits = 0;
            for (std::size_t i = 64 * word; i < end; i += V::COUNT) {
                bits |= static_cast<std::uint64_t>(bits_of(attempt(i))) << (i % 64);
            }
            out.accepted[word] = bits;
        }
    }

    // What the passes share: per pair, the logarithms that do not depend on the sampler.
    struct SharedLogs {
        // ln(u1 / (1 - u1)): every attempt of either algorithm needs it.
        alignas(64) std::array<double, ATTEMPT_BLOCK_PAIRS> odds;
        // ln z with BB's z = (u1 u1) u2, and with BC's z (u1 (u1 u2) below u1 = 0.5).
        alignas(64) std::array<double, ATTEMPT_BLOCK_PAIRS> z_bb;
        alignas(64) std::array<double, ATTEMPT_BLOCK_PAIRS> z_bc;
    };

    // ln(u1 / (1 - u1)) and the logarithms of z that the samplers' algorithms need. Two vectors per
    // step: each ln is a long chain, and two independent ones side by side keep the arithmetic
    // units busy where one would leave them waiting.
    static VELMORA_LANE_INLINE void shared_logs(const UniformPairs& pairs, bool any_bb, bool any_bc,
                                                SharedLogs& logs) {
        for (std::size_t i = 0; i < pairs.count; i += 2 * V::COUNT) {
            const vd u1_a = load(pairs.u1.data() + i);
            const vd u1_b = load(pairs.u1.data() + i + V::COUNT);
            const vd odds_a = ln(u1_a / (1.0 - u1_a));
            const vd odds_b = ln(u1_b / (1.0 - u1_b));
            store(logs.odds.data() + i, odds_a);
            store(logs.odds.data() + i + V::COUNT, odds_b);
        }
        if (any_bb) {
            for (std::size_t i = 0; i < pairs.count; i += 2 * V::COUNT) {
                const vd u1_a = load(pairs.u1.data() + i);
                const vd u1_b = load(pairs.u1.data() + i + V::COUNT);
                const vd z_a = ln((u1_a * u1_a) * load(pairs.u2.data() + i));
                const vd z_b = ln((u1_b * u1_b) * load(pairs.u2.data() + i + V::COUNT));
                store(logs.z_bb.data() + i, z_a);
                store(logs.z_bb.data() + i + V::COUNT, z_b);
            }
        }
        if (any_bc) {
            for (std::size_t i = 0; i < pairs.count; i += V::COUNT) {
                const vd u1 = load(pairs.u1.data() + i);
                const vd u2 = load(pairs.u2.data() + i);
                const vd z = select(where(u1 < 0.5), u1 * (u1 * u2), (u1 * u1) * u2);
                store(logs.z_bc.data() + i, ln(z));
            }
        }
    }

    // w = a exp(beta ln(u1 / (1 - u1))) for every pair.
    static VELMORA_LANE_INLINE void sampler_w(const BetaConstants& c, const UniformPairs& pairs,
                                              const SharedLogs& logs, double* w) {
        for (std::size_t i = 0; i < pairs.count; i += 2 * V::COUNT) {
            const vd w_a = c.a * exp(c.beta * load(logs.odds.data() + i));
            const vd w_b = c.a * exp(c.beta * load(logs.odds.data() + i + V::COUNT));
            store(w + i, w_a);
            store(w + i + V::COUNT, w_b);
        }
    }

    // BB in full: the squeeze (s + 1) + ln 5 >= 5 z, then s >= ln z, then the last test
    // r + alpha ln(alpha / (b + w)) not below ln z.
    static VELMORA_LANE_INLINE mask bb_first_tests(const BetaConstants& c,
                                                   const UniformPairs& pairs,
                                                   const SharedLogs& logs, const double* w_all,
                                                   std::size_t i, vd& w, vd& r, vd& t) {
        const vd u1 = load(pairs.u1.data() + i);
        const vd u2 = load(pairs.u2.data() + i);
        const vd v = c.beta * load(logs.odds.data() + i);
        w = load(w_all + i);
        const vd z = (u1 * u1) * u2;
        r = c.gamma * v - LN_4;
        const vd s = (c.a + r) - w;
        t = load(logs.z_bb.data() + i);
        return where(((s + 1.0) + LN_5) >= 5.0 * z) | where(s >= t);
    }

    static VELMORA_LANE_INLINE mask bb_last_test(const BetaConstants& c, vd w, vd r, vd t) {
        return ~where((r + c.alpha * ln(c.alpha / (c.b + w))) < t);
    }

    // Without a compress instruction the last test's logarithm is computed for every lane: a third
    // of the attempts need it, spread at random, and gathering them lane by lane costs more than
    // computing it everywhere.
    static VELMORA_LANE_INLINE void bb_tests_everywhere(const BetaConstants& c,
                                                        const UniformPairs& pairs,
                                                        const SharedLogs& logs, const double* w_all,
                                                        AttemptOutcomes& out) {
        for_each_vector(pairs.count, out, [&](std::size_t i) {
            vd w;
            vd r;
            vd t;
            const mask decided = bb_first_tests(c, pairs, logs, w_all, i, w, r, t);
            store(out.value.data() + i, result_from(c, w));
            return decided | bb_last_test(c, w, r, t);
        });
    }

    // The attempts the first two tests left open (about a third), packed in pair order, with the
    // last test's operands. COUNT lanes of slack: a compressed store writes a whole vector.
    struct Undecided {
        alignas(64) std::array<double, ATTEMPT_BLOCK_PAIRS + V::COUNT> w;
        alignas(64) std::array<double, ATTEMPT_BLOCK_PAIRS + V::COUNT> r;
        alignas(64) std::array<double, ATTEMPT_BLOCK_PAIRS + V::COUNT> t;
        std::size_t count;
    };

    // `count` bits of a bit stream from bit `first` on (count at most 64).
    static VELMORA_LANE_INLINE std::uint64_t stream_bits(const std::uint64_t* stream,
                                                         std::size_t first, std::size_t count) {
        const std::size_t shift = first % 64;
        std::uint64_t bits = stream[first / 64] >> shift;
        if (shift != 0) {
            bits |= stream[first / 64 + 1] << (64 - shift);
        }
        return count < 64 ? bits & ((std::uint64_t{1} << count) - 1) : bits;
    }

    // The first two tests everywhere; the undecided attempts are packed with a compress
    // instruction, the last test's logarithm runs on the packed ones only, and its outcomes are
    // deposited back at their pairs' bits in order.
    static VELMORA_LANE_INLINE void bb_tests_packed(const BetaConstants& c,
                                                    const UniformPairs& pairs,
                                                    const SharedLogs& logs, const double* w_all,
                                                    AttemptOutcomes& out) {
        constexpr std::size_t words = ATTEMPT_BLOCK_PAIRS / 64;
        Undecided u;
        u.count = 0;
        std::array<std::uint64_t, words> open{};
        for (std::size_t word = 0; 64 * word < pairs.count; ++word) {
            const std::size_t end = std::min(pairs.count, 64 * word + 64);
            std::uint64_t decided_bits = 0;
            for (std::size_t i = 64 * word; i < end; i += V::COUNT) {
                vd w;
                vd r;
                vd t;
                const auto decided = static_cast<unsigned>(
                    bits_of(bb_first_tests(c, pairs, logs, w_all, i, w, r, t)));
                store(out.value.data() + i, result_from(c, w));
                const unsigned undecided = ~decided & ALL_LANES;
                V::compress_store(u.w.data() + u.count, undecided, w);
                V::compress_store(u.r.data() + u.count, undecided, r);
                V::compress_store(u.t.data() + u.count, undecided, t);
                u.count += static_cast<std::size_t>(std::popcount(undecided));
                decided_bits |= std::uint64_t{decided} << (i % 64);
                open[word] |= std::uint64_t{undecided} << (i % 64);
            }
            out.accepted[word] = decided_bits;
        }
        // Harmless operands for the lanes past the last packed attempt.
        for (std::size_t k = u.count; k < u.count + V::COUNT; ++k) {
            u.w[k] = 1.0;
            u.r[k] = 0.0;
            u.t[k] = 0.0;
        }
        std::array<std::uint64_t, words + 1> last{};
        for (std::size_t k = 0; k < u.count; k += V::COUNT) {
            const mask accepted =
                bb_last_test(c, load(u.w.data() + k), load(u.r.data() + k), load(u.t.data() + k));
            last[k / 64] |= static_cast<std::uint64_t>(bits_of(accepted)) << (k % 64);
        }
        std::size_t taken = 0;
        for (std::size_t word = 0; 64 * word < pairs.count; ++word) {
            const auto count = static_cast<std::size_t>(std::popcount(open[word]));
            out.accepted[word] |= V::deposit(stream_bits(last.data(), taken, count), open[word]);
            taken += count;
        }
    }

    // The lane type's compress instruction decides which of the two ways runs; both give the same
    // bits.
    static VELMORA_LANE_INLINE void bb_tests(const BetaConstants& c, const UniformPairs& pairs,
                                             const SharedLogs& logs, const double* w_all,
                                             AttemptOutcomes& out) {
        if constexpr (HasCompress<V>) {
            bb_tests_packed(c, pairs, logs, w_all, out);
        } else {
            bb_tests_everywhere(c, pairs, logs, w_all, out);
        }
    }

    // BC in full: the cheap tests on u1, u2 and z, the early exit for z <= 1/4, and the final test
    // alpha (ln(alpha / (b + w)) + v) - ln 4 not below ln z, which most attempts reach.
    static VELMORA_LANE_INLINE void bc_tests(const BetaConstants& c, const UniformPairs& pairs,
                                             const SharedLogs& logs, const double* w_all,
                                             AttemptOutcomes& out) {
        for_each_vector(pairs.count, out, [&](std::size_t i) {
            const vd u1 = load(pairs.u1.data() + i);
            const vd u2 = load(pairs.u2.data() + i);
            const mask low_half = where(u1 < 0.5);
            const vd y = u1 * u2;
            const vd z_low = u1 * y;
            const vd z_high = (u1 * u1) * u2;
            const mask early = ~low_half & where(z_high <= 0.25);
            const mask rejected = select(low_half, where(((0.25 * u2 + z_low) - y) >= c.kappa1),
                                         ~early & where(z_high >= c.kappa2));
            const vd v = c.beta * load(logs.odds.data() + i);
            const vd w = load(w_all + i);
            const mask kept = ~where((c.alpha * (ln(c.alpha / (c.b + w)) + v) - LN_4) <
                                     load(logs.z_bc.data() + i));
            store(out.value.data() + i, result_from(c, w));
            return early | (~rejected & kept);
        });
    }

    // The work runs in passes over the block rather than pair by pair: each pass has short chains
    // per vector and no data-dependent branch, so the processor overlaps many vectors at once where
    // one long ln -> exp -> tests chain per vector would leave it waiting.
    static void evaluate(std::span<const BetaConstants> samplers, const UniformPairs& pairs,
                         std::span<AttemptOutcomes> out) {
        const auto uses = [&](BetaAlgorithm algorithm) {
            for (const BetaConstants& c : samplers) {
                if (c.algorithm == algorithm) {
                    return true;
                }
            }
            return false;
        };
        SharedLogs logs;
        shared_logs(pairs, uses(BetaAlgorithm::BB), uses(BetaAlgorithm::BC), logs);
        alignas(64) std::array<double, ATTEMPT_BLOCK_PAIRS> w;
        for (std::size_t k = 0; k < samplers.size(); ++k) {
            const BetaConstants& c = samplers[k];
            sampler_w(c, pairs, logs, w.data());
            if (c.algorithm == BetaAlgorithm::BB) {
                bb_tests(c, pairs, logs, w.data(), out[k]);
            } else {
                bc_tests(c, pairs, logs, w.data(), out[k]);
            }
        }
    }
};

} // namespace velmora::lanes
