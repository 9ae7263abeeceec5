// The one place that decides which code runs at which instruction-set level. It runs before
// anything knows which instructions are safe, so it must be compiled for the baseline processor
// only; the kernels it points to are built for their levels in their own files and are never
// called unless the processor reported support for them.
#if defined(__SSSE3__) || defined(__SSE4_1__) || defined(__AVX__) || defined(__AVX2__) ||          \
    defined(__AVX512F__)
#error "isa/kernel_table.cpp must be compiled for the baseline instruction set only"
#endif

#include "isa/kernel_table.hpp"

#include <array>
#include <cstddef>

#include "isa/target.hpp"

namespace velmora {

// Each level's own kernels, defined in its source file: isa/portable.cpp,
// isa/<architecture>/<level>.cpp.
namespace isa::portable {
LevelCode level_code();
}
#if VELMORA_X86
namespace isa::sse2 {
LevelCode level_code();
}
namespace isa::ssse3 {
LevelCode level_code();
}
namespace isa::sse41 {
LevelCode level_code();
}
namespace isa::avx {
LevelCode level_code();
}
namespace isa::avx2 {
LevelCode level_code();
}
namespace isa::avx512 {
LevelCode level_code();
}
#endif
#if VELMORA_ARM64
namespace isa::neon {
LevelCode level_code();
}
#endif

namespace {

using KernelTable = std::array<VectorKernels, ALL_CPU_LEVELS.size()>;

constexpr std::size_t index_of(CpuLevel level) {
    return static_cast<std::size_t>(level);
}

// One row per level, in the order of CpuLevel. A level runs its own kernels or those of a lower
// level named in its row; the portable ones are the reference code. The levels of another
// architecture are never detected on this processor: their rows keep the portable code.
KernelTable make_kernel_table() {
    const LevelCode portable = isa::portable::level_code();
    KernelTable table{};
    for (const CpuLevel level : ALL_CPU_LEVELS) {
        table[index_of(level)] = VectorKernels{level,
                                               portable.refill,
                                               portable.wide_refill,
                                               portable.uniform_pairs,
                                               portable.attempts,
                                               portable.lane_math,
                                               portable.compact};
    }
    // Unused on an architecture that has no vector level of its own.
    [[maybe_unused]] const auto row = [&table](const VectorKernels& kernels) {
        table[index_of(kernels.level)] = kernels;
    };
#if VELMORA_X86
    const LevelCode sse2 = isa::sse2::level_code();
    const LevelCode ssse3 = isa::ssse3::level_code();
    const LevelCode sse41 = isa::sse41::level_code();
    const LevelCode avx = isa::avx::level_code();
    const LevelCode avx2 = isa::avx2::level_code();
    const LevelCode avx512 = isa::avx512::level_code();
    // clang-format off
    //   level            refill          wide refill          uniform pairs
    //                    attempts        lane math            compaction
    row({CpuLevel::Sse2,   sse2.refill,     sse2.wide_refill,     portable.uniform_pairs,
                           sse2.attempts,     sse2.lane_math,     portable.compact});
    // Byte shuffles speed up the refill's rotations; the attempt lanes gain nothing.
    row({CpuLevel::Ssse3,  ssse3.refill,    ssse3.wide_refill,    portable.uniform_pairs,
                           sse2.attempts,     sse2.lane_math,     portable.compact});
    row({CpuLevel::Sse41,  sse41.refill,    sse41.wide_refill,    portable.uniform_pairs,
                           sse2.attempts,     sse2.lane_math,     portable.compact});
    row({CpuLevel::Avx,    avx.refill,      avx.wide_refill,      portable.uniform_pairs,
                           avx.attempts,      avx.lane_math,      portable.compact});
    row({CpuLevel::Avx2,   avx2.refill,     avx2.wide_refill,     portable.uniform_pairs,
                           avx2.attempts,     avx2.lane_math,     portable.compact});
    // The four-block refill gains nothing from 512-bit registers (AVX2 holds two blocks of
    // rows per register already); sixteen blocks, one per lane, do.
    row({CpuLevel::Avx512, avx2.refill,     avx512.wide_refill,   avx512.uniform_pairs,
                           avx512.attempts,   avx512.lane_math,   avx512.compact});
    // clang-format on
#endif
#if VELMORA_ARM64
    const LevelCode neon = isa::neon::level_code();
    row({CpuLevel::Neon, neon.refill, neon.wide_refill, portable.uniform_pairs, neon.attempts,
         neon.lane_math, portable.compact});
#endif
    return table;
}

const KernelTable& kernel_table() {
    static const KernelTable table = make_kernel_table();
    return table;
}

} // namespace

const VectorKernels& vector_kernels_for(CpuLevel level) {
    return kernel_table()[index_of(level)];
}

const VectorKernels& active_vector_kernels() {
    static const VectorKernels& chosen = vector_kernels_for(active_cpu_level());
    return chosen;
}

} // namespace velmora
