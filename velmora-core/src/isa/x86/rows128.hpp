// The ChaCha rows of one block in a 128-bit register, for every x86 level from SSE2 to AVX:
// generic code, included inside a level's target region and instantiated with that level's own
// tag type, so that each level gets its own copy built for its own instructions.
//
// Isa::BYTE_SHUFFLE says whether byte shuffles (SSSE3 and later) can do the 16- and 8-bit
// rotations in one instruction.
#pragma once

#ifndef VELMORA_KERNEL_PREREQUISITES_INCLUDED
#error "include isa/kernel_prerequisites.hpp before the target region that includes this header"
#endif

namespace velmora::isa::x86 {

template <class Isa>
struct Rows128 {
    using word = __m128i;
    static constexpr int BLOCKS = 1;

    static VELMORA_LANE_INLINE word add(word x, word y) { return _mm_add_epi32(x, y); }
    static VELMORA_LANE_INLINE word bit_xor(word x, word y) { return _mm_xor_si128(x, y); }

    template <int Bits>
    static VELMORA_LANE_INLINE word rotl(word x) {
        if constexpr (Isa::BYTE_SHUFFLE && Bits == 16) {
            return _mm_shuffle_epi8(
                x, _mm_set_epi8(13, 12, 15, 14, 9, 8, 11, 10, 5, 4, 7, 6, 1, 0, 3, 2));
        } else if constexpr (Isa::BYTE_SHUFFLE && Bits == 8) {
            return _mm_shuffle_epi8(
                x, _mm_set_epi8(14, 13, 12, 15, 10, 9, 8, 11, 6, 5, 4, 7, 2, 1, 0, 3));
        } else {
            return _mm_or_si128(_mm_slli_epi32(x, Bits), _mm_srli_epi32(x, 32 - Bits));
        }
    }

    // Word i of the result is word i + N (mod 4) of the row.
    template <int N>
    static VELMORA_LANE_INLINE word rotate_words(word x) {
        return _mm_shuffle_epi32(x, ((N + 0) % 4) | ((N + 1) % 4) << 2 | ((N + 2) % 4) << 4 |
                                        ((N + 3) % 4) << 6);
    }

    static VELMORA_LANE_INLINE word constant_row() {
        return _mm_setr_epi32(
            static_cast<int>(CHACHA_CONSTANT_ROW[0]), static_cast<int>(CHACHA_CONSTANT_ROW[1]),
            static_cast<int>(CHACHA_CONSTANT_ROW[2]), static_cast<int>(CHACHA_CONSTANT_ROW[3]));
    }

    static VELMORA_LANE_INLINE word key_row(const std::uint32_t* words) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(words));
    }

    // The block counter is 64 bits wide: its low word carries into the high word.
    static VELMORA_LANE_INLINE word counter_row(std::uint64_t block, const ChaChaStream& stream) {
        return _mm_setr_epi32(static_cast<int>(static_cast<std::uint32_t>(block)),
                              static_cast<int>(static_cast<std::uint32_t>(block >> 32)),
                              static_cast<int>(stream[0]), static_cast<int>(stream[1]));
    }

    static VELMORA_LANE_INLINE void store(std::uint32_t* out, word a, word b, word c, word d) {
        auto* rows = reinterpret_cast<__m128i*>(out);
        _mm_storeu_si128(rows, a);
        _mm_storeu_si128(rows + 1, b);
        _mm_storeu_si128(rows + 2, c);
        _mm_storeu_si128(rows + 3, d);
    }
};

} // namespace velmora::isa::x86
