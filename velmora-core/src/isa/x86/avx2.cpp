// The AVX2 level: the four-block refill with two blocks per 256-bit register, and the attempt
// kernel in four lanes.
#include <immintrin.h>

#include "isa/kernel_prerequisites.hpp"

VELMORA_BEGIN_TARGET("avx2")

#include "generator/chacha_rounds.hpp"
#include "math/lane_math.hpp"
#include "sampler/beta_attempt_lanes.hpp"

namespace velmora::isa::avx2 {
namespace {

// Two blocks per register: the low 128-bit lane holds one block's row, the high lane the next
// block's. Every shuffle below stays within its lane, so the two blocks never mix.
struct Rows {
    using word = __m256i;
    static constexpr int BLOCKS = 2;

    static VELMORA_LANE_INLINE word add(word x, word y) { return _mm256_add_epi32(x, y); }
    static VELMORA_LANE_INLINE word bit_xor(word x, word y) { return _mm256_xor_si256(x, y); }

    template <int Bits>
    static VELMORA_LANE_INLINE word rotl(word x) {
        if constexpr (Bits == 16) {
            return _mm256_shuffle_epi8(x, _mm256_set_epi8(13, 12, 15, 14, 9, 8, 11, 10, 5, 4, 7, 6,
                                                          1, 0, 3, 2, 13, 12, 15, 14, 9, 8, 11, 10,
                                                          5, 4, 7, 6, 1, 0, 3, 2));
        } else if constexpr (Bits == 8) {
            return _mm256_shuffle_epi8(x, _mm256_set_epi8(14, 13, 12, 15, 10, 9, 8, 11, 6, 5, 4, 7,
                                                          2, 1, 0, 3, 14, 13, 12, 15, 10, 9, 8, 11,
                                                          6, 5, 4, 7, 2, 1, 0, 3));
        } else {
            return _mm256_or_si256(_mm256_slli_epi32(x, Bits), _mm256_srli_epi32(x, 32 - Bits));
        }
    }

    // Word i of each block's row becomes word i + N (mod 4).
    template <int N>
    static VELMORA_LANE_INLINE word rotate_words(word x) {
        return _mm256_shuffle_epi32(x, ((N + 0) % 4) | ((N + 1) % 4) << 2 | ((N + 2) % 4) << 4 |
                                           ((N + 3) % 4) << 6);
    }

    static VELMORA_LANE_INLINE word constant_row() {
        const auto k = [](std::size_t i) { return static_cast<int>(CHACHA_CONSTANT_ROW[i]); };
        return _mm256_setr_epi32(k(0), k(1), k(2), k(3), k(0), k(1), k(2), k(3));
    }

    static VELMORA_LANE_INLINE word key_row(const std::uint32_t* words) {
        return _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(words)));
    }

    // Row d of blocks `block` (low lane) and `block + 1` (high lane), the counter carrying in
    // 64 bits.
    static VELMORA_LANE_INLINE word counter_row(std::uint64_t block, const ChaChaStream& stream) {
        const auto low = [](std::uint64_t n) {
            return static_cast<int>(static_cast<std::uint32_t>(n));
        };
        const auto high = [](std::uint64_t n) {
            return static_cast<int>(static_cast<std::uint32_t>(n >> 32));
        };
        const int s0 = static_cast<int>(stream[0]);
        const int s1 = static_cast<int>(stream[1]);
        return _mm256_setr_epi32(low(block), high(block), s0, s1, low(block + 1), high(block + 1),
                                 s0, s1);
    }

    // Writes rows (a, b) and (c, d) of the two blocks: the low lanes are the first block.
    static VELMORA_LANE_INLINE void store(std::uint32_t* out, word a, word b, word c, word d) {
        auto* first = reinterpret_cast<__m256i*>(out);
        auto* second = reinterpret_cast<__m256i*>(out + 16);
        _mm256_storeu_si256(first, _mm256_permute2x128_si256(a, b, 0x20));
        _mm256_storeu_si256(first + 1, _mm256_permute2x128_si256(c, d, 0x20));
        _mm256_storeu_si256(second, _mm256_permute2x128_si256(a, b, 0x31));
        _mm256_storeu_si256(second + 1, _mm256_permute2x128_si256(c, d, 0x31));
    }
};

struct Lanes : lanes::LaneVectors<4> {
    static VELMORA_LANE_INLINE int mask_bits(vi mask) {
        return _mm256_movemask_pd(__builtin_bit_cast(__m256d, mask));
    }
    // if_set where the mask's sign bit is set, which a comparison sets with all the others.
    static VELMORA_LANE_INLINE vd blend(vu mask, vd if_set, vd if_clear) {
        return __builtin_bit_cast(vd, _mm256_blendv_pd(__builtin_bit_cast(__m256d, if_clear),
                                                       __builtin_bit_cast(__m256d, if_set),
                                                       __builtin_bit_cast(__m256d, mask)));
    }
    static VELMORA_LANE_INLINE vd truncate(vd x) {
        return __builtin_bit_cast(vd, _mm256_round_pd(__builtin_bit_cast(__m256d, x),
                                                      _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
    }
};

using Attempts = lanes::BetaAttempts<Lanes>;

constexpr RefillFn refill = chacha::refill_rows<Rows>;

} // namespace
} // namespace velmora::isa::avx2

VELMORA_END_TARGET

namespace velmora::isa::avx2 {

LevelCode level_code() {
    return own_refills_and_attempts<refill, Attempts>();
}

} // namespace velmora::isa::avx2
