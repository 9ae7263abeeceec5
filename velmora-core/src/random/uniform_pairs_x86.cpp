// Compiled for the baseline processor like the rest of the build; only the function below
// carries a wider target and runs only where the dispatcher chose it.
#include "random/uniform_pairs_x86.hpp"

#if VELMORA_X86

#include <immintrin.h>

namespace velmora::x86 {

VELMORA_TARGET("avx512f")
void uniform_pairs_avx512(const std::uint32_t* words, double* u1, double* u2, std::size_t count) {
    const __m512i exponent_of_one = _mm512_set1_epi64(0x3FF0000000000000);
    const __m512d below_one = _mm512_castsi512_pd(_mm512_set1_epi64(0x3FEFFFFFFFFFFFFF));
    // Lanes 0, 2, ... of the two converted registers are u1, lanes 1, 3, ... are u2.
    const __m512i first_of_pair = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14);
    const __m512i second_of_pair = _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15);
    const auto convert = [&](const std::uint32_t* from) VELMORA_TARGET("avx512f") {
        const __m512i word = _mm512_loadu_si512(from);
        // The masked shift with every lane selected: the unmasked one starts from an undefined
        // register, which the compiler then warns about.
        const __m512i mantissa = _mm512_mask_srli_epi64(word, 0xFF, word, 12);
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

} // namespace velmora::x86

#endif
