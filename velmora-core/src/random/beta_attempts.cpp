// The attempt kernels, one copy of beta_attempt_lanes.inc per instruction-set level. Each copy
// carries its own target attribute; the file itself is compiled for the baseline processor.
#include "random/beta_attempts.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "random/exact_math.hpp"
#include "simd/target.hpp"

#if VELMORA_X86
#include <immintrin.h>
#endif

namespace velmora {

BetaConstants BetaConstants::of(const BetaSampler& sampler) {
    return BetaConstants{
        .algorithm = sampler.algorithm(),
        .switched = sampler.switched(),
        .a = sampler.a(),
        .b = sampler.b(),
        .alpha = sampler.alpha(),
        .beta = sampler.beta(),
        .gamma = sampler.gamma(),
        .kappa1 = sampler.kappa1(),
        .kappa2 = sampler.kappa2(),
    };
}

bool BetaConstants::identical_to(const BetaConstants& other) const {
    const auto same = [](double x, double y) {
        return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
    };
    return algorithm == other.algorithm && switched == other.switched && same(a, other.a) &&
           same(b, other.b) && same(alpha, other.alpha) && same(beta, other.beta) &&
           same(gamma, other.gamma) && same(kappa1, other.kappa1) && same(kappa2, other.kappa2);
}

namespace {

#if VELMORA_X86

// Eight lanes in one register: half the instructions of AVX2 for the same lanes, and twice the
// registers, so more of the long ln and exp chains overlap.
#define LANES_NS avx512_lanes
#define LANES_FN VELMORA_TARGET("avx512f,avx512dq,bmi2")
#define LANES 8
#define LANES_MASK(m) static_cast<int>(_mm512_movepi64_mask(__builtin_bit_cast(__m512i, m)))
// The masked form with every lane selected: the unmasked one starts from an undefined register,
// which the compiler then warns about.
#define LANES_TRUNC(v)                                                                             \
    __builtin_bit_cast(vd, _mm512_mask_roundscale_pd(__builtin_bit_cast(__m512d, v), 0xFF,         \
                                                     __builtin_bit_cast(__m512d, v),               \
                                                     _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC))
#define LANES_COMPRESS(p, mask, v)                                                                 \
    _mm512_storeu_pd((p), _mm512_maskz_compress_pd(static_cast<__mmask8>(mask),                    \
                                                   __builtin_bit_cast(__m512d, v)))
#define LANES_DEPOSIT(bits, mask) _pdep_u64((bits), (mask))
#include "random/beta_attempt_lanes.inc"
#undef LANES_NS
#undef LANES_FN
#undef LANES
#undef LANES_MASK
#undef LANES_TRUNC
#undef LANES_COMPRESS
#undef LANES_DEPOSIT

#define LANES_NS avx2_lanes
#define LANES_FN VELMORA_TARGET("avx2")
#define LANES 4
#define LANES_MASK(m) _mm256_movemask_pd(__builtin_bit_cast(__m256d, m))
#define LANES_TRUNC(v)                                                                             \
    __builtin_bit_cast(vd, _mm256_round_pd(__builtin_bit_cast(__m256d, v),                         \
                                           _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC))
#include "random/beta_attempt_lanes.inc"
#undef LANES_NS
#undef LANES_FN
#undef LANES
#undef LANES_MASK
#undef LANES_TRUNC

#define LANES_NS avx_lanes
#define LANES_FN VELMORA_TARGET("avx")
#define LANES 2
#define LANES_MASK(m) _mm_movemask_pd(__builtin_bit_cast(__m128d, m))
#define LANES_TRUNC(v)                                                                             \
    __builtin_bit_cast(                                                                            \
        vd, _mm_round_pd(__builtin_bit_cast(__m128d, v), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC))
#include "random/beta_attempt_lanes.inc"
#undef LANES_NS
#undef LANES_FN
#undef LANES
#undef LANES_MASK
#undef LANES_TRUNC

// SSE2 is part of every x86-64 processor, so the baseline build already has it.
#define LANES_NS sse2_lanes
#define LANES_FN
#define LANES 2
#define LANES_MASK(m) _mm_movemask_pd(__builtin_bit_cast(__m128d, m))
#include "random/beta_attempt_lanes.inc"
#undef LANES_NS
#undef LANES_FN
#undef LANES
#undef LANES_MASK

#else

int portable_mask(auto mask) {
    int bits = 0;
    for (int i = 0; i < static_cast<int>(sizeof mask / sizeof mask[0]); ++i) {
        bits |= static_cast<int>(mask[i] & 1) << i;
    }
    return bits;
}

#define LANES_NS portable_lanes
#define LANES_FN
#define LANES 2
#define LANES_MASK(m) portable_mask(m)
#include "random/beta_attempt_lanes.inc"
#undef LANES_NS
#undef LANES_FN
#undef LANES
#undef LANES_MASK

#endif

} // namespace

namespace {

struct LevelKernels {
    AttemptKernel attempts;
    LaneMath math;
};

LevelKernels level_kernels(CpuLevel level) {
#if VELMORA_X86
    switch (level) {
    case CpuLevel::Avx512:
        return LevelKernels{avx512_lanes::evaluate,
                            {avx512_lanes::ln_array, avx512_lanes::exp_array}};
    case CpuLevel::Avx2:
        return LevelKernels{avx2_lanes::evaluate, {avx2_lanes::ln_array, avx2_lanes::exp_array}};
    case CpuLevel::Avx:
        return LevelKernels{avx_lanes::evaluate, {avx_lanes::ln_array, avx_lanes::exp_array}};
    case CpuLevel::Scalar:
    case CpuLevel::Sse2:
    case CpuLevel::Ssse3:
    case CpuLevel::Sse41:
        break;
    }
    return LevelKernels{sse2_lanes::evaluate, {sse2_lanes::ln_array, sse2_lanes::exp_array}};
#else
    (void)level;
    return LevelKernels{portable_lanes::evaluate,
                        {portable_lanes::ln_array, portable_lanes::exp_array}};
#endif
}

} // namespace

AttemptKernel attempt_kernel_for(CpuLevel level) {
    return level_kernels(level).attempts;
}

LaneMath lane_math_for(CpuLevel level) {
    return level_kernels(level).math;
}

} // namespace velmora
