// The AVX-512 level (F and DQ, with BMI2): sixteen ChaCha blocks at once, one per 32-bit lane,
// the bulk conversion of words to uniforms, the attempt kernel in eight lanes with BB's last
// test packed by a compress instruction, and the compaction of accepted draws. Its four-block
// refill is AVX2's (see the table).
#include <immintrin.h>

#include "isa/kernel_prerequisites.hpp"

VELMORA_BEGIN_TARGET("avx512f,avx512dq,bmi2")

#include "generator/chacha_rounds.hpp"
#include "math/lane_math.hpp"
#include "sampler/beta_attempt_lanes.hpp"

namespace velmora::isa::avx512 {
namespace {

// The masked forms with every lane selected: the unmasked ones start from an undefined register,
// which the compiler then warns about.
constexpr __mmask16 ALL_WORDS = 0xFFFF;
constexpr __mmask8 ALL_PAIRS = 0xFF;

// Word k of all sixteen blocks in one register, block j in lane j: every quarter round is then
// sixteen independent ones, and rotations are single instructions.
struct BlockLanes {
    using word = __m512i;

    static VELMORA_LANE_INLINE word add(word x, word y) { return _mm512_add_epi32(x, y); }
    static VELMORA_LANE_INLINE word bit_xor(word x, word y) { return _mm512_xor_si512(x, y); }
    template <int Bits>
    static VELMORA_LANE_INLINE word rotl(word x) {
        return _mm512_mask_rol_epi32(x, ALL_WORDS, x, Bits);
    }
};

using State = chacha::Words<BlockLanes>;

VELMORA_LANE_INLINE __m512i unpacklo32(__m512i a, __m512i b) {
    return _mm512_mask_unpacklo_epi32(a, ALL_WORDS, a, b);
}
VELMORA_LANE_INLINE __m512i unpackhi32(__m512i a, __m512i b) {
    return _mm512_mask_unpackhi_epi32(a, ALL_WORDS, a, b);
}
VELMORA_LANE_INLINE __m512i unpacklo64(__m512i a, __m512i b) {
    return _mm512_mask_unpacklo_epi64(a, ALL_PAIRS, a, b);
}
VELMORA_LANE_INLINE __m512i unpackhi64(__m512i a, __m512i b) {
    return _mm512_mask_unpackhi_epi64(a, ALL_PAIRS, a, b);
}
template <int Selector>
VELMORA_LANE_INLINE __m512i lanes128(__m512i a, __m512i b) {
    return _mm512_mask_shuffle_i32x4(a, ALL_WORDS, a, b, Selector);
}

// Turns sixteen registers of one word per block into sixteen blocks of consecutive words:
// pairs of words, then quads, then 128-bit lanes are interleaved.
VELMORA_LANE_INLINE void store_transposed(const State& x, std::uint32_t* out) {
    State pairs;
    for (int i = 0; i < 8; ++i) {
        pairs[2 * i] = unpacklo32(x[2 * i], x[2 * i + 1]);
        pairs[2 * i + 1] = unpackhi32(x[2 * i], x[2 * i + 1]);
    }
    // quads[4 * i + c], 128-bit lane L: words 4i to 4i + 3 of block 4L + c.
    State quads;
    for (int i = 0; i < 4; ++i) {
        quads[4 * i] = unpacklo64(pairs[4 * i], pairs[4 * i + 2]);
        quads[4 * i + 1] = unpackhi64(pairs[4 * i], pairs[4 * i + 2]);
        quads[4 * i + 2] = unpacklo64(pairs[4 * i + 1], pairs[4 * i + 3]);
        quads[4 * i + 3] = unpackhi64(pairs[4 * i + 1], pairs[4 * i + 3]);
    }
    for (int c = 0; c < 4; ++c) {
        const __m512i low01 = lanes128<0x44>(quads[c], quads[4 + c]);
        const __m512i low23 = lanes128<0xEE>(quads[c], quads[4 + c]);
        const __m512i high01 = lanes128<0x44>(quads[8 + c], quads[12 + c]);
        const __m512i high23 = lanes128<0xEE>(quads[8 + c], quads[12 + c]);
        _mm512_storeu_si512(out + 16 * c, lanes128<0x88>(low01, high01));
        _mm512_storeu_si512(out + 16 * (4 + c), lanes128<0xDD>(low01, high01));
        _mm512_storeu_si512(out + 16 * (8 + c), lanes128<0x88>(low23, high23));
        _mm512_storeu_si512(out + 16 * (12 + c), lanes128<0xDD>(low23, high23));
    }
}

void wide_refill(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                 ChaChaWideBuffer& out) {
    // The counters in scalar code: the 64-bit carry of each block stays obvious.
    alignas(64) std::array<std::uint32_t, 16> counter_low;
    alignas(64) std::array<std::uint32_t, 16> counter_high;
    for (std::uint32_t j = 0; j < 16; ++j) {
        counter_low[j] = static_cast<std::uint32_t>(counter + j);
        counter_high[j] = static_cast<std::uint32_t>((counter + j) >> 32);
    }
    State input;
    for (int k = 0; k < 4; ++k) {
        input[k] = _mm512_set1_epi32(static_cast<int>(CHACHA_CONSTANT_ROW[k]));
    }
    for (int k = 0; k < 8; ++k) {
        input[4 + k] = _mm512_set1_epi32(static_cast<int>(key[k]));
    }
    input[12] = _mm512_load_si512(counter_low.data());
    input[13] = _mm512_load_si512(counter_high.data());
    input[14] = _mm512_set1_epi32(static_cast<int>(stream[0]));
    input[15] = _mm512_set1_epi32(static_cast<int>(stream[1]));
    store_transposed(chacha::block_words<BlockLanes>(input), out.data());
}

// Eight pairs per step: two 512-bit loads of words, converted as eight 64-bit lanes each, then
// the u1 and u2 lanes separated.
void uniform_pairs(const std::uint32_t* words, double* u1, double* u2, std::size_t count) {
    const __m512i exponent_of_one = _mm512_set1_epi64(0x3FF0000000000000);
    const __m512d below_one = _mm512_castsi512_pd(_mm512_set1_epi64(0x3FEFFFFFFFFFFFFF));
    // Lanes 0, 2, ... of the two converted registers are u1, lanes 1, 3, ... are u2.
    const __m512i first_of_pair = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14);
    const __m512i second_of_pair = _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15);
    const auto convert = [&](const std::uint32_t* from) {
        const __m512i word = _mm512_loadu_si512(from);
        const __m512i mantissa = _mm512_mask_srli_epi64(word, ALL_PAIRS, word, 12);
        return _mm512_sub_pd(_mm512_castsi512_pd(_mm512_or_si512(mantissa, exponent_of_one)),
                             below_one);
    };
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8) {
        const __m512d low = convert(words + 4 * k);
        const __m512d high = convert(words + 4 * k + 16);
        _mm512_storeu_pd(u1 + k, _mm512_permutex2var_pd(low, first_of_pair, high));
        _mm512_storeu_pd(u2 + k, _mm512_permutex2var_pd(low, second_of_pair, high));
    }
    uniform_pairs_scalar(words + 4 * k, u1 + k, u2 + k, count - k);
}

// Eight values per step with a register compress and a full-width store.
std::size_t compact(std::uint64_t bits, const double* values, double* out) {
    std::size_t n = 0;
    for (int chunk = 0; chunk < 8; ++chunk) {
        const auto mask = static_cast<__mmask8>(bits >> (8 * chunk));
        // Compress in a register, then store whole: the compressing store to memory is far
        // slower on some processors.
        _mm512_storeu_pd(out + n,
                         _mm512_maskz_compress_pd(mask, _mm512_loadu_pd(values + 8 * chunk)));
        n += static_cast<std::size_t>(std::popcount(static_cast<unsigned>(mask)));
    }
    return n;
}

// Eight lanes in one register: half the instructions of AVX2 for the same lanes, and twice the
// registers, so more of the long ln and exp chains overlap.
struct Lanes : lanes::LaneVectors<8> {
    static VELMORA_LANE_INLINE int mask_bits(vi mask) {
        return static_cast<int>(_mm512_movepi64_mask(__builtin_bit_cast(__m512i, mask)));
    }
    static VELMORA_LANE_INLINE vd truncate(vd x) {
        return __builtin_bit_cast(
            vd, _mm512_mask_roundscale_pd(__builtin_bit_cast(__m512d, x), ALL_PAIRS,
                                          __builtin_bit_cast(__m512d, x),
                                          _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
    }
    static VELMORA_LANE_INLINE void compress_store(double* p, unsigned mask, vd v) {
        _mm512_storeu_pd(p, _mm512_maskz_compress_pd(static_cast<__mmask8>(mask),
                                                     __builtin_bit_cast(__m512d, v)));
    }
    static VELMORA_LANE_INLINE std::uint64_t deposit(std::uint64_t bits, std::uint64_t mask) {
        return _pdep_u64(bits, mask);
    }
};

using Attempts = lanes::BetaAttempts<Lanes>;

} // namespace
} // namespace velmora::isa::avx512

VELMORA_END_TARGET

namespace velmora::isa::avx512 {

LevelCode level_code() {
    return LevelCode{
        .wide_refill = wide_refill,
        .uniform_pairs = uniform_pairs,
        .attempts = Attempts::evaluate,
        .lane_math = {Attempts::ln_array, Attempts::exp_array},
        .compact = compact,
    };
}

} // namespace velmora::isa::avx512
