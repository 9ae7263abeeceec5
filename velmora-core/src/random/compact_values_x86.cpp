// Compiled for the baseline processor like the rest of the build; only the function below
// carries a wider target and runs only where the dispatcher chose it.
#include "random/compact_values_x86.hpp"

#if VELMORA_X86

#include <immintrin.h>

#include <bit>

namespace velmora::x86 {

VELMORA_TARGET("avx512f")
std::size_t compact_values_avx512(std::uint64_t bits, const double* values, double* out) {
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

} // namespace velmora::x86

#endif
