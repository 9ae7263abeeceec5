// The vector refills. Each function carries its own target attribute; the file as a whole is
// compiled for the baseline processor, so nothing here runs unless the dispatcher chose it.
#include "random/chacha_refill_x86.hpp"

#if VELMORA_X86

#include <immintrin.h>

#include <array>
#include <cstdint>

namespace velmora::x86 {

namespace {

// "expand 32-byte k" as four little-endian words.
constexpr std::array<int, 4> CHACHA_CONSTANTS = {0x61707865, 0x3320646E, 0x79622D32, 0x6B206574};
// Eight rounds: four column rounds, each followed by a diagonal round.
constexpr int CHACHA_DOUBLE_ROUNDS = 4;

} // namespace

#define CHACHA_ROWS_NS sse2_rows
#define CHACHA_ROWS_FN VELMORA_TARGET("sse2")
#define CHACHA_ROWS_PSHUFB 0
#include "random/chacha_rows128.inc"
#undef CHACHA_ROWS_NS
#undef CHACHA_ROWS_FN
#undef CHACHA_ROWS_PSHUFB

#define CHACHA_ROWS_NS ssse3_rows
#define CHACHA_ROWS_FN VELMORA_TARGET("ssse3")
#define CHACHA_ROWS_PSHUFB 1
#include "random/chacha_rows128.inc"
#undef CHACHA_ROWS_NS
#undef CHACHA_ROWS_FN
#undef CHACHA_ROWS_PSHUFB

#define CHACHA_ROWS_NS sse41_rows
#define CHACHA_ROWS_FN VELMORA_TARGET("sse4.1")
#define CHACHA_ROWS_PSHUFB 1
#include "random/chacha_rows128.inc"
#undef CHACHA_ROWS_NS
#undef CHACHA_ROWS_FN
#undef CHACHA_ROWS_PSHUFB

// AVX without AVX2 has no 256-bit integer instructions; it gains the three-operand VEX forms.
#define CHACHA_ROWS_NS avx_rows
#define CHACHA_ROWS_FN VELMORA_TARGET("avx")
#define CHACHA_ROWS_PSHUFB 1
#include "random/chacha_rows128.inc"
#undef CHACHA_ROWS_NS
#undef CHACHA_ROWS_FN
#undef CHACHA_ROWS_PSHUFB

namespace avx2_rows {

// Two blocks per register: the low 128-bit lane holds one block's row, the high lane the next
// block's. Every shuffle below stays within its lane, so the two blocks never mix.
struct Rows {
    __m256i a, b, c, d;
};

#define AVX2_INLINE VELMORA_TARGET("avx2") __attribute__((always_inline)) inline

template <int Bits>
AVX2_INLINE __m256i rotl(__m256i x) {
    if constexpr (Bits == 16) {
        return _mm256_shuffle_epi8(x, _mm256_set_epi8(13, 12, 15, 14, 9, 8, 11, 10, 5, 4, 7, 6, 1,
                                                      0, 3, 2, 13, 12, 15, 14, 9, 8, 11, 10, 5, 4,
                                                      7, 6, 1, 0, 3, 2));
    } else if constexpr (Bits == 8) {
        return _mm256_shuffle_epi8(x, _mm256_set_epi8(14, 13, 12, 15, 10, 9, 8, 11, 6, 5, 4, 7, 2,
                                                      1, 0, 3, 14, 13, 12, 15, 10, 9, 8, 11, 6, 5,
                                                      4, 7, 2, 1, 0, 3));
    } else {
        return _mm256_or_si256(_mm256_slli_epi32(x, Bits), _mm256_srli_epi32(x, 32 - Bits));
    }
}

AVX2_INLINE void quarter_round(Rows& r) {
    r.a = _mm256_add_epi32(r.a, r.b);
    r.d = rotl<16>(_mm256_xor_si256(r.d, r.a));
    r.c = _mm256_add_epi32(r.c, r.d);
    r.b = rotl<12>(_mm256_xor_si256(r.b, r.c));
    r.a = _mm256_add_epi32(r.a, r.b);
    r.d = rotl<8>(_mm256_xor_si256(r.d, r.a));
    r.c = _mm256_add_epi32(r.c, r.d);
    r.b = rotl<7>(_mm256_xor_si256(r.b, r.c));
}

AVX2_INLINE void diagonalise(Rows& r) {
    r.b = _mm256_shuffle_epi32(r.b, 0x39);
    r.c = _mm256_shuffle_epi32(r.c, 0x4E);
    r.d = _mm256_shuffle_epi32(r.d, 0x93);
}

AVX2_INLINE void undiagonalise(Rows& r) {
    r.b = _mm256_shuffle_epi32(r.b, 0x93);
    r.c = _mm256_shuffle_epi32(r.c, 0x4E);
    r.d = _mm256_shuffle_epi32(r.d, 0x39);
}

// Row d of blocks `block` (low lane) and `block + 1` (high lane), the counter carrying in 64 bits.
AVX2_INLINE __m256i counter_rows(std::uint64_t block, const ChaChaStream& stream) {
    const auto low = [](std::uint64_t n) {
        return static_cast<int>(static_cast<std::uint32_t>(n));
    };
    const auto high = [](std::uint64_t n) {
        return static_cast<int>(static_cast<std::uint32_t>(n >> 32));
    };
    const int s0 = static_cast<int>(stream[0]);
    const int s1 = static_cast<int>(stream[1]);
    return _mm256_setr_epi32(low(block), high(block), s0, s1, low(block + 1), high(block + 1), s0,
                             s1);
}

// Writes rows (a, b) and (c, d) of the two blocks: the low lanes are the first block.
AVX2_INLINE void store_blocks(std::uint32_t* out, __m256i a, __m256i b, __m256i c, __m256i d) {
    auto* first = reinterpret_cast<__m256i*>(out);
    auto* second = reinterpret_cast<__m256i*>(out + 16);
    _mm256_storeu_si256(first, _mm256_permute2x128_si256(a, b, 0x20));
    _mm256_storeu_si256(first + 1, _mm256_permute2x128_si256(c, d, 0x20));
    _mm256_storeu_si256(second, _mm256_permute2x128_si256(a, b, 0x31));
    _mm256_storeu_si256(second + 1, _mm256_permute2x128_si256(c, d, 0x31));
}

VELMORA_TARGET("avx2")
void refill(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
            ChaChaBuffer& out) {
    const __m256i constants = _mm256_setr_epi32(
        CHACHA_CONSTANTS[0], CHACHA_CONSTANTS[1], CHACHA_CONSTANTS[2], CHACHA_CONSTANTS[3],
        CHACHA_CONSTANTS[0], CHACHA_CONSTANTS[1], CHACHA_CONSTANTS[2], CHACHA_CONSTANTS[3]);
    const __m256i key_low =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(key.data())));
    const __m256i key_high = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(key.data() + 4)));
    const __m256i input_d[2] = {counter_rows(counter, stream), counter_rows(counter + 2, stream)};
    Rows x[2] = {Rows{constants, key_low, key_high, input_d[0]},
                 Rows{constants, key_low, key_high, input_d[1]}};
    for (int double_round = 0; double_round < CHACHA_DOUBLE_ROUNDS; ++double_round) {
        for (Rows& r : x) {
            quarter_round(r);
        }
        for (Rows& r : x) {
            diagonalise(r);
        }
        for (Rows& r : x) {
            quarter_round(r);
        }
        for (Rows& r : x) {
            undiagonalise(r);
        }
    }
    for (int pair = 0; pair < 2; ++pair) {
        store_blocks(out.data() + 32 * pair, _mm256_add_epi32(x[pair].a, constants),
                     _mm256_add_epi32(x[pair].b, key_low), _mm256_add_epi32(x[pair].c, key_high),
                     _mm256_add_epi32(x[pair].d, input_d[pair]));
    }
}

#undef AVX2_INLINE

} // namespace avx2_rows

namespace avx512_lanes {

// Word k of all sixteen blocks in one register, block j in lane j: every quarter round is then
// sixteen independent ones, and rotations are single instructions.
struct State {
    __m512i w[16];
    __m512i& operator[](int k) { return w[k]; }
    const __m512i& operator[](int k) const { return w[k]; }
};

#define AVX512_INLINE VELMORA_TARGET("avx512f") __attribute__((always_inline)) inline

// The masked forms with every lane selected: the unmasked ones start from an undefined register,
// which the compiler then warns about.
constexpr __mmask16 ALL_WORDS = 0xFFFF;
constexpr __mmask8 ALL_PAIRS = 0xFF;

template <int Bits>
AVX512_INLINE __m512i rotl(__m512i x) {
    return _mm512_mask_rol_epi32(x, ALL_WORDS, x, Bits);
}
AVX512_INLINE __m512i unpacklo32(__m512i a, __m512i b) {
    return _mm512_mask_unpacklo_epi32(a, ALL_WORDS, a, b);
}
AVX512_INLINE __m512i unpackhi32(__m512i a, __m512i b) {
    return _mm512_mask_unpackhi_epi32(a, ALL_WORDS, a, b);
}
AVX512_INLINE __m512i unpacklo64(__m512i a, __m512i b) {
    return _mm512_mask_unpacklo_epi64(a, ALL_PAIRS, a, b);
}
AVX512_INLINE __m512i unpackhi64(__m512i a, __m512i b) {
    return _mm512_mask_unpackhi_epi64(a, ALL_PAIRS, a, b);
}
template <int Selector>
AVX512_INLINE __m512i lanes128(__m512i a, __m512i b) {
    return _mm512_mask_shuffle_i32x4(a, ALL_WORDS, a, b, Selector);
}

AVX512_INLINE void quarter_round(State& x, int a, int b, int c, int d) {
    x[a] = _mm512_add_epi32(x[a], x[b]);
    x[d] = rotl<16>(_mm512_xor_si512(x[d], x[a]));
    x[c] = _mm512_add_epi32(x[c], x[d]);
    x[b] = rotl<12>(_mm512_xor_si512(x[b], x[c]));
    x[a] = _mm512_add_epi32(x[a], x[b]);
    x[d] = rotl<8>(_mm512_xor_si512(x[d], x[a]));
    x[c] = _mm512_add_epi32(x[c], x[d]);
    x[b] = rotl<7>(_mm512_xor_si512(x[b], x[c]));
}

// Turns sixteen registers of one word per block into sixteen blocks of consecutive words:
// pairs of words, then quads, then 128-bit lanes are interleaved.
AVX512_INLINE void store_transposed(const State& x, std::uint32_t* out) {
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

VELMORA_TARGET("avx512f")
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
        input[k] = _mm512_set1_epi32(CHACHA_CONSTANTS[k]);
    }
    for (int k = 0; k < 8; ++k) {
        input[4 + k] = _mm512_set1_epi32(static_cast<int>(key[k]));
    }
    input[12] = _mm512_load_si512(counter_low.data());
    input[13] = _mm512_load_si512(counter_high.data());
    input[14] = _mm512_set1_epi32(static_cast<int>(stream[0]));
    input[15] = _mm512_set1_epi32(static_cast<int>(stream[1]));
    State x = input;
    for (int double_round = 0; double_round < CHACHA_DOUBLE_ROUNDS; ++double_round) {
        quarter_round(x, 0, 4, 8, 12);
        quarter_round(x, 1, 5, 9, 13);
        quarter_round(x, 2, 6, 10, 14);
        quarter_round(x, 3, 7, 11, 15);
        quarter_round(x, 0, 5, 10, 15);
        quarter_round(x, 1, 6, 11, 12);
        quarter_round(x, 2, 7, 8, 13);
        quarter_round(x, 3, 4, 9, 14);
    }
    for (int k = 0; k < 16; ++k) {
        x[k] = _mm512_add_epi32(x[k], input[k]);
    }
    store_transposed(x, out.data());
}

#undef AVX512_INLINE

} // namespace avx512_lanes

void refill_sse2(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                 ChaChaBuffer& out) {
    sse2_rows::refill(key, counter, stream, out);
}

void refill_ssse3(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                  ChaChaBuffer& out) {
    ssse3_rows::refill(key, counter, stream, out);
}

void refill_sse41(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                  ChaChaBuffer& out) {
    sse41_rows::refill(key, counter, stream, out);
}

void refill_avx(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                ChaChaBuffer& out) {
    avx_rows::refill(key, counter, stream, out);
}

void refill_avx2(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                 ChaChaBuffer& out) {
    avx2_rows::refill(key, counter, stream, out);
}

void wide_refill_avx512(const ChaChaKey& key, std::uint64_t counter, const ChaChaStream& stream,
                        ChaChaWideBuffer& out) {
    avx512_lanes::wide_refill(key, counter, stream, out);
}

} // namespace velmora::x86

#endif
