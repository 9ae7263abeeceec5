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

} // namespace velmora::x86

#endif
