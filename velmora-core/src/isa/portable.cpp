// The portable level (CpuLevel::Scalar): the reference refill, conversion and compaction, and
// the attempt kernel in two lanes of plain C++ vector code with no instruction-set intrinsic.
// It is built for the baseline processor, like the rest of the library, on every architecture.
#include "isa/kernel_prerequisites.hpp"

#include "math/lane_math.hpp"
#include "sampler/beta_attempt_lanes.hpp"

namespace velmora::isa::portable {
namespace {

struct Lanes : lanes::LaneVectors<2> {
    static VELMORA_LANE_INLINE int mask_bits(vi mask) {
        int bits = 0;
        for (int i = 0; i < COUNT; ++i) {
            bits |= static_cast<int>(mask[i] & 1) << i;
        }
        return bits;
    }
};

using Attempts = lanes::BetaAttempts<Lanes>;

} // namespace

LevelCode level_code() {
    return LevelCode{
        .refill = refill_scalar,
        .wide_refill = four_refills<refill_scalar>,
        .uniform_pairs = uniform_pairs_scalar,
        .attempts = Attempts::evaluate,
        .lane_math = {Attempts::ln_array, Attempts::exp_array},
        .compact = compact_values_scalar,
    };
}

} // namespace velmora::isa::portable
