// The NEON level: the four-block refill in 128-bit rows, and the attempt kernel in two lanes.
// Advanced SIMD is part of every aarch64 processor, so this file is built for the baseline and
// opens no target region; its kernels have internal linkage all the same, like every level's.
#include <arm_neon.h>

#include "isa/kernel_prerequisites.hpp"

#include "generator/chacha_rounds.hpp"
#include "math/lane_math.hpp"
#include "sampler/beta_attempt_lanes.hpp"

namespace velmora::isa::neon {
namespace {

struct Rows {
    using word = uint32x4_t;
    static constexpr int BLOCKS = 1;

    static VELMORA_LANE_INLINE word add(word x, word y) { return vaddq_u32(x, y); }
    static VELMORA_LANE_INLINE word bit_xor(word x, word y) { return veorq_u32(x, y); }

    // 16 bits swap each word's halves; 8 bits are one byte table lookup; the others shift left
    // and insert the bits shifted out at the bottom.
    template <int Bits>
    static VELMORA_LANE_INLINE word rotl(word x) {
        if constexpr (Bits == 16) {
            return vreinterpretq_u32_u16(vrev32q_u16(vreinterpretq_u16_u32(x)));
        } else if constexpr (Bits == 8) {
            constexpr std::uint8_t order[16] = {3,  0, 1, 2,  7,  4,  5,  6,
                                                11, 8, 9, 10, 15, 12, 13, 14};
            return vreinterpretq_u32_u8(vqtbl1q_u8(vreinterpretq_u8_u32(x), vld1q_u8(order)));
        } else {
            return vsliq_n_u32(vshrq_n_u32(x, 32 - Bits), x, Bits);
        }
    }

    // Word i of the result is word i + N (mod 4) of the row.
    template <int N>
    static VELMORA_LANE_INLINE word rotate_words(word x) {
        return vextq_u32(x, x, N);
    }

    static VELMORA_LANE_INLINE word constant_row() { return vld1q_u32(CHACHA_CONSTANT_ROW.data()); }

    static VELMORA_LANE_INLINE word key_row(const std::uint32_t* words) { return vld1q_u32(words); }

    // The block counter is 64 bits wide: its low word carries into the high word.
    static VELMORA_LANE_INLINE word counter_row(std::uint64_t block, const ChaChaStream& stream) {
        const std::uint32_t words[4] = {static_cast<std::uint32_t>(block),
                                        static_cast<std::uint32_t>(block >> 32), stream[0],
                                        stream[1]};
        return vld1q_u32(words);
    }

    static VELMORA_LANE_INLINE void store(std::uint32_t* out, word a, word b, word c, word d) {
        vst1q_u32(out, a);
        vst1q_u32(out + 4, b);
        vst1q_u32(out + 8, c);
        vst1q_u32(out + 12, d);
    }
};

struct Lanes : lanes::LaneVectors<2> {
    // A comparison sets all of a lane's bits or none: its sign bit is the lane's verdict.
    static VELMORA_LANE_INLINE int mask_bits(vi mask) {
        const uint64x2_t signs = vshrq_n_u64(__builtin_bit_cast(uint64x2_t, mask), 63);
        return static_cast<int>(vgetq_lane_u64(signs, 0) | vgetq_lane_u64(signs, 1) << 1);
    }
    static VELMORA_LANE_INLINE vd truncate(vd x) {
        return __builtin_bit_cast(vd, vrndq_f64(__builtin_bit_cast(float64x2_t, x)));
    }
};

using Attempts = lanes::BetaAttempts<Lanes>;

constexpr RefillFn refill = chacha::refill_rows<Rows>;

} // namespace

LevelCode level_code() {
    return own_refills_and_attempts<refill, Attempts>();
}

} // namespace velmora::isa::neon
