// The processor's vector instruction-set level, detected once per process.
#pragma once

#include <array>
#include <string_view>

namespace velmora {

// Ordered from the narrowest to the widest; each level implies every level before it.
// Avx512 stands for AVX-512 F and DQ, with BMI2.
enum class CpuLevel { Scalar, Sse2, Ssse3, Sse41, Avx, Avx2, Avx512 };

inline constexpr std::array<CpuLevel, 7> ALL_CPU_LEVELS = {
    CpuLevel::Scalar, CpuLevel::Sse2, CpuLevel::Ssse3,  CpuLevel::Sse41,
    CpuLevel::Avx,    CpuLevel::Avx2, CpuLevel::Avx512,
};

std::string_view to_string(CpuLevel level);

// Asks the processor (CPUID) and, for the 256-bit levels, the operating system (XGETBV: are the
// wide registers saved on a context switch?). Scalar on processors that are not x86.
CpuLevel detect_cpu_level();

// detect_cpu_level(), computed on the first call and cached for the life of the process.
CpuLevel active_cpu_level();

// True when code built for `level` can run on this processor.
bool cpu_supports(CpuLevel level);

} // namespace velmora
