// The dispatcher. It runs before anything knows which instructions are safe, so it must be
// compiled for the baseline processor only; the variants it points to carry their own target
// attributes and are never called unless the processor reported support for them.
#if defined(__SSSE3__) || defined(__SSE4_1__) || defined(__AVX__) || defined(__AVX2__) ||          \
    defined(__AVX512F__)
#error "vector_kernels.cpp must be compiled for the baseline instruction set only"
#endif

#include "random/vector_kernels.hpp"

#include <array>
#include <cstddef>

#include "random/chacha_refill_x86.hpp"
#include "random/compact_values_x86.hpp"
#include "random/uniform_pairs_x86.hpp"

namespace velmora {

namespace {

using KernelTable = std::array<VectorKernels, ALL_CPU_LEVELS.size()>;

KernelTable make_kernel_table() {
    KernelTable table{};
    for (const CpuLevel level : ALL_CPU_LEVELS) {
        table[static_cast<std::size_t>(level)] = VectorKernels{level,
                                                               refill_scalar,
                                                               four_refills<refill_scalar>,
                                                               uniform_pairs_scalar,
                                                               attempt_kernel_for(level),
                                                               compact_values_scalar};
    }
#if VELMORA_X86
    table[static_cast<std::size_t>(CpuLevel::Sse2)].refill = x86::refill_sse2;
    table[static_cast<std::size_t>(CpuLevel::Ssse3)].refill = x86::refill_ssse3;
    table[static_cast<std::size_t>(CpuLevel::Sse41)].refill = x86::refill_sse41;
    table[static_cast<std::size_t>(CpuLevel::Avx)].refill = x86::refill_avx;
    table[static_cast<std::size_t>(CpuLevel::Avx2)].refill = x86::refill_avx2;
    // The refill gains nothing from 512-bit registers: it is four blocks of rows, two per
    // 256-bit register already.
    table[static_cast<std::size_t>(CpuLevel::Avx512)].refill = x86::refill_avx2;
    table[static_cast<std::size_t>(CpuLevel::Sse2)].wide_refill = four_refills<x86::refill_sse2>;
    table[static_cast<std::size_t>(CpuLevel::Ssse3)].wide_refill = four_refills<x86::refill_ssse3>;
    table[static_cast<std::size_t>(CpuLevel::Sse41)].wide_refill = four_refills<x86::refill_sse41>;
    table[static_cast<std::size_t>(CpuLevel::Avx)].wide_refill = four_refills<x86::refill_avx>;
    table[static_cast<std::size_t>(CpuLevel::Avx2)].wide_refill = four_refills<x86::refill_avx2>;
    // Sixteen blocks fill a 512-bit register with one word each, which four blocks cannot.
    table[static_cast<std::size_t>(CpuLevel::Avx512)].wide_refill = x86::wide_refill_avx512;
    table[static_cast<std::size_t>(CpuLevel::Avx512)].uniform_pairs = x86::uniform_pairs_avx512;
    table[static_cast<std::size_t>(CpuLevel::Avx512)].compact = x86::compact_values_avx512;
#endif
    return table;
}

const KernelTable& kernel_table() {
    static const KernelTable table = make_kernel_table();
    return table;
}

} // namespace

const VectorKernels& vector_kernels_for(CpuLevel level) {
    return kernel_table()[static_cast<std::size_t>(level)];
}

const VectorKernels& active_vector_kernels() {
    static const VectorKernels& chosen = vector_kernels_for(active_cpu_level());
    return chosen;
}

RefillFn active_refill() {
    static const RefillFn chosen = active_vector_kernels().refill;
    return chosen;
}

UniformPairsFn active_uniform_pairs() {
    static const UniformPairsFn chosen = active_vector_kernels().uniform_pairs;
    return chosen;
}

WideRefillFn active_wide_refill() {
    static const WideRefillFn chosen = active_vector_kernels().wide_refill;
    return chosen;
}

} // namespace velmora
