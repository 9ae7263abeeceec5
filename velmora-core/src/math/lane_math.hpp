// ln and exp of every lane of a vector, exactly as the scalar velmora::ln and velmora::exp
// compute them: generic code over a level's lane type, built inside that level's target region.
//
// A lane type V provides
//   COUNT              doubles per vector
//   vd, vi, vu         vectors of COUNT doubles, signed and unsigned 64-bit integers, with the
//                      compiler's element-wise operators (LaneVectors<COUNT> gives these)
//   mask_bits(vi m)    the lanes of a comparison result as an integer, lane 0 in bit 0
// and may provide
//   truncate(vd x)     every lane rounded toward zero in one instruction
//   blend(vu m, vd a, vd b)   a where the lane mask m is set, b elsewhere, in one instruction
//
// Exactness: every lane performs the operations of the scalar routine, in the same order, in
// IEEE double precision (the build forbids contraction into fused multiply-add). Lanes whose
// arguments leave the ordinary range (zero, subnormal, infinite or NaN arguments, exp near
// overflow or underflow) are redone one by one with the scalar routines, so the special cases
// have exactly one implementation.
#pragma once

#ifndef VELMORA_KERNEL_PREREQUISITES_INCLUDED
#error "include isa/kernel_prerequisites.hpp before the target region that includes this header"
#endif

namespace velmora::lanes {

// The vector types of a lane type with N doubles a vector; a level's lane type derives from it.
template <int N>
struct LaneVectors {
    static constexpr int COUNT = N;
    typedef double vd __attribute__((vector_size(N * 8)));
    typedef std::int64_t vi __attribute__((vector_size(N * 8)));
    typedef std::uint64_t vu __attribute__((vector_size(N * 8)));
};

template <class V>
concept HasTruncate = requires(typename V::vd x) { V::truncate(x); };

template <class V>
concept HasBlend = requires(typename V::vu m, typename V::vd x) { V::blend(m, x, x); };

template <class V>
struct ExactMath {
    using vd = typename V::vd;
    using vi = typename V::vi;
    using vu = typename V::vu;

    static constexpr int ALL_LANES = (1 << V::COUNT) - 1;

    static VELMORA_LANE_INLINE vd load(const double* p) {
        vd v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static VELMORA_LANE_INLINE void store(double* p, vd v) { std::memcpy(p, &v, sizeof v); }
    static VELMORA_LANE_INLINE vu to_bits(vd v) { return __builtin_bit_cast(vu, v); }
    static VELMORA_LANE_INLINE vd from_bits(vu v) { return __builtin_bit_cast(vd, v); }
    // Lane masks: comparison results, every lane all ones or all zeros, combined and used as
    // unsigned lanes. GCC folds `&`, `|` and `~` of comparisons on signed lanes into a boolean
    // expression of its own, and where 64-bit lanes cannot be compared in a vector (SSE2) it then
    // moves every lane through a general register. As unsigned lanes they stay bitwise.
    using mask = vu;
    static VELMORA_LANE_INLINE mask where(vi comparison) {
        return __builtin_bit_cast(vu, comparison);
    }
    static VELMORA_LANE_INLINE int bits_of(mask m) {
        return V::mask_bits(__builtin_bit_cast(vi, m));
    }

    static VELMORA_LANE_INLINE mask select(mask m, mask if_set, mask if_clear) {
        return (if_set & m) | (if_clear & ~m);
    }
    static VELMORA_LANE_INLINE vd select(mask m, vd if_set, vd if_clear) {
        if constexpr (HasBlend<V>) {
            return V::blend(m, if_set, if_clear);
        } else {
            return from_bits(select(m, to_bits(if_set), to_bits(if_clear)));
        }
    }
    static VELMORA_LANE_INLINE vd splat(double x) { return vd{} + x; }

    // Rounds toward zero, exactly, for |x| < 2^51.
    static VELMORA_LANE_INLINE vd truncate(vd x) {
        if constexpr (HasTruncate<V>) {
            return V::truncate(x);
        } else {
            constexpr double magic = exact_math::ROUNDING_MAGIC;
            const vd nearest = (x + magic) - magic;
            const vd negative_step = select(where(nearest < x), splat(1.0), splat(0.0));
            const vd positive_step = select(where(nearest > x), splat(1.0), splat(0.0));
            return nearest + select(where(x < 0.0), negative_step, -positive_step);
        }
    }

    static VELMORA_LANE_INLINE vd ln(vd x) {
        using namespace exact_math;
        constexpr double smallest_normal = from_high_word(LN_SMALLEST_NORMAL_HIGH);
        constexpr double largest_finite =
            exact_math::from_bits((std::uint64_t{LN_INFINITY_HIGH} << 32) - 1);
        const mask ordinary = where(x >= smallest_normal) & where(x <= largest_finite);
        if (bits_of(ordinary) != ALL_LANES) {
            vd result;
            for (int i = 0; i < V::COUNT; ++i) {
                result[i] = velmora::ln(x[i]);
            }
            return result;
        }
        // Reduce to m in [sqrt(2)/2, sqrt(2)) and x = m * 2^k, on the high word as the scalar
        // does.
        const vu bits = to_bits(x);
        const vu high = (bits >> 32) + (0x3FF00000 - SQRT_HALF_HIGH);
        const vu low = bits & 0xFFFFFFFF;
        const vu k_biased = high >> 20; // k + 0x3FF, never negative for a normal x
        const vd m = from_bits((((high & 0x000FFFFF) + SQRT_HALF_HIGH) << 32) | low);
        const vd k =
            from_bits(to_bits(splat(ROUNDING_MAGIC)) + k_biased) - (ROUNDING_MAGIC + 0x3FF);

        const vd f = m - 1.0;
        const vd hfsq = (0.5 * f) * f;
        const vd s = f / (2.0 + f);
        const vd z = s * s;
        const vd w = z * z;
        const vd t1 = w * (LG2 + w * (LG4 + w * LG6));
        const vd t2 = z * (LG1 + w * (LG3 + w * (LG5 + w * LG7)));
        const vd r = t2 + t1;
        return ((((s * (hfsq + r)) + k * LN2_LO) - hfsq) + f) + k * LN2_HI;
    }

    static VELMORA_LANE_INLINE vd exp(vd x) {
        using namespace exact_math;
        const vd magnitude = from_bits(to_bits(x) & 0x7FFFFFFFFFFFFFFF);
        // Below the range check: no overflow, no underflow, no NaN, and a scale 2^k that is a
        // normal double.
        constexpr double range_check = from_high_word(EXP_RANGE_CHECK_HIGH);
        const mask ordinary = where(magnitude < range_check);
        if (bits_of(ordinary) != ALL_LANES) {
            vd result;
            for (int i = 0; i < V::COUNT; ++i) {
                result[i] = velmora::exp(x[i]);
            }
            return result;
        }
        // The scalar's high-word tests on |x|, as comparisons of whole doubles.
        constexpr double reduce_from = from_high_word(EXP_REDUCE_HIGH + 1);
        constexpr double unit_k_below = from_high_word(EXP_UNIT_K_HIGH);
        constexpr double tiny_below = from_high_word(EXP_TINY_HIGH + 1);
        const mask negative = where(x < 0.0);
        const mask reduce = where(magnitude >= reduce_from);
        const mask unit_k = where(magnitude < unit_k_below);
        const mask tiny = where(magnitude < tiny_below);

        // k = (x * 1/ln2 + (+-0.5)) truncated toward zero, on integers held in doubles.
        const vd scaled = x * INV_LN2 + select(negative, splat(-0.5), splat(0.5));
        const vd toward_zero = truncate(scaled);
        const vd k =
            select(reduce, select(unit_k, select(negative, splat(-1.0), splat(1.0)), toward_zero),
                   splat(0.0));

        // With k = 0 these give hi = x and lo = +0 exactly, as the unreduced scalar path does.
        const vd hi = x - k * LN2_HI;
        const vd lo = k * LN2_LO;
        const vd r = hi - lo;
        const vd rr = r * r;
        const vd c = r - rr * (P1 + rr * (P2 + rr * (P3 + rr * (P4 + rr * P5))));
        const vd y = 1.0 + ((((r * c) / (2.0 - c)) - lo) + hi);
        // 2^k built from its exponent bits; |k| <= 1022 here, and 2^0 = 1 leaves y unchanged.
        const vd scale = from_bits((to_bits(k + (ROUNDING_MAGIC + 0x3FF))) << 52);
        return select(tiny, 1.0 + x, y * scale);
    }

    // Whole arrays (count a multiple of COUNT): the form the tests hold to the scalar routines.
    static void ln_array(const double* in, double* out, std::size_t count) {
        for (std::size_t i = 0; i < count; i += V::COUNT) {
            store(out + i, ln(load(in + i)));
        }
    }
    static void exp_array(const double* in, double* out, std::size_t count) {
        for (std::size_t i = 0; i < count; i += V::COUNT) {
            store(out + i, exp(load(in + i)));
        }
    }
};

} // namespace velmora::lanes
