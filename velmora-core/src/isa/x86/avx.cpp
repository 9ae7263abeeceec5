// The AVX level: the four-block refill in 128-bit rows (AVX without AVX2 has no 256-bit integer
// instructions; it gains the three-operand forms), and the attempt kernel in two lanes with
// one-instruction truncation.
#include <immintrin.h>

#include "isa/kernel_prerequisites.hpp"

VELMORA_BEGIN_TARGET("avx")

#include "generator/chacha_rounds.hpp"
#include "isa/x86/rows128.hpp"
#include "math/lane_math.hpp"
#include "sampler/beta_attempt_lanes.hpp"

namespace velmora::isa::avx {
namespace {

struct Isa {
    static constexpr bool BYTE_SHUFFLE = true;
};

struct Lanes : lanes::LaneVectors<2> {
    static VELMORA_LANE_INLINE int mask_bits(vi mask) {
        return _mm_movemask_pd(__builtin_bit_cast(__m128d, mask));
    }
    // if_set where the mask's sign bit is set, which a comparison sets with all the others.
    static VELMORA_LANE_INLINE vd blend(vu mask, vd if_set, vd if_clear) {
        return __builtin_bit_cast(vd, _mm_blendv_pd(__builtin_bit_cast(__m128d, if_clear),
                                                    __builtin_bit_cast(__m128d, if_set),
                                                    __builtin_bit_cast(__m128d, mask)));
    }
    static VELMORA_LANE_INLINE vd truncate(vd x) {
        return __builtin_bit_cast(vd, _mm_round_pd(__builtin_bit_cast(__m128d, x),
                                                   _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
    }
};

using Attempts = lanes::BetaAttempts<Lanes>;

constexpr RefillFn refill = chacha::refill_rows<x86::Rows128<Isa>>;

} // namespace
} // namespace velmora::isa::avx

VELMORA_END_TARGET

namespace velmora::isa::avx {

LevelCode level_code() {
    return own_refills_and_attempts<refill, Attempts>();
}

} // namespace velmora::isa::avx
