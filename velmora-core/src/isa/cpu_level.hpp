// The processor's vector instruction-set level, detected once per process.
#pragma once

#include <array>
#include <string_view>

namespace velmora {

// Scalar, then each architecture's levels from the narrowest to the widest; a level implies
// Scalar and every level of its own architecture before it. Avx512 stands for AVX-512 F and DQ,
// with BMI2; Neon for aarch64's Advanced SIMD, which every aarch64 processor has.
enum class CpuLevel { Scalar, Sse2, Ssse3, Sse41, Avx, Avx2, Avx512, Neon };

inline constexpr std::array<CpuLevel, 8> ALL_CPU_LEVELS = {
    CpuLevel::Scalar, CpuLevel::Sse2, CpuLevel::Ssse3,  CpuLevel::Sse41,
    CpuLevel::Avx,    CpuLevel::Avx2, CpuLevel::Avx512, CpuLevel::Neon,
};

std::string_view to_string(CpuLevel level);

// Asks the processor (CPUID) and, for the 256-bit levels, the operating system (XGETBV: are the
// wide registers saved on a context switch?). Neon on aarch64, which has no narrower choice;
// Scalar on every other processor.
CpuLevel detect_cpu_level();

// detect_cpu_level(), computed on the first call and cached for the life of the process.
CpuLevel active_cpu_level();

// True when code built for `level` can run on this processor.
bool cpu_supports(CpuLevel level);

} // namespace velmora
