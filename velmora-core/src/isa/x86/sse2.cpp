// The SSE2 level: the four-block refill in 128-bit rows with shift rotations, and the attempt
// kernel in two lanes. SSE2 is part of every x86-64 processor.
#include <immintrin.h>

#include "isa/kernel_prerequisites.hpp"

VELMORA_BEGIN_TARGET("sse2")

#include "generator/chacha_rounds.hpp"
#include "isa/x86/rows128.hpp"
#include "math/lane_math.hpp"
#include "sampler/beta_attempt_lanes.hpp"

namespace velmora::isa::sse2 {
namespace {

struct Isa {
    static constexpr bool BYTE_SHUFFLE = false;
};

struct Lanes : lanes::LaneVectors<2> {
    static VELMORA_LANE_INLINE int mask_bits(vi mask) {
        return _mm_movemask_pd(__builtin_bit_cast(__m128d, mask));
    }
};

using Attempts = lanes::BetaAttempts<Lanes>;

constexpr RefillFn refill = chacha::refill_rows<x86::Rows128<Isa>>;

} // namespace
} // namespace velmora::isa::sse2

VELMORA_END_TARGET

namespace velmora::isa::sse2 {

LevelCode level_code() {
    return own_refills_and_attempts<refill, Attempts>();
}

} // namespace velmora::isa::sse2
