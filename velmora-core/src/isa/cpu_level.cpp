// Runs before anything knows which instructions are safe, so this file must be compiled for the
// baseline processor only: a wider instruction slipped in here by the compiler would crash the
// very machines the check exists to protect.
#if defined(__SSSE3__) || defined(__SSE4_1__) || defined(__AVX__) || defined(__AVX2__) ||          \
    defined(__AVX512F__)
#error "isa/cpu_level.cpp must be compiled for the baseline instruction set only"
#endif

#include "isa/cpu_level.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <cstdint>

namespace velmora {

namespace {

#if defined(__x86_64__) || defined(__i386__)

struct CpuidRegisters {
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
};

CpuidRegisters cpuid(unsigned leaf, unsigned subleaf) {
    CpuidRegisters r;
    if (__get_cpuid_count(leaf, subleaf, &r.eax, &r.ebx, &r.ecx, &r.edx) == 0) {
        return CpuidRegisters{};
    }
    return r;
}

// The extended control register 0: which register states the operating system saves. Only
// valid once CPUID has reported OSXSAVE.
std::uint64_t read_xcr0() {
    unsigned eax = 0;
    unsigned edx = 0;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return (std::uint64_t{edx} << 32) | eax;
}

bool bit(unsigned word, int index) {
    return ((word >> index) & 1u) != 0;
}

CpuLevel detect_x86() {
    const unsigned max_leaf = cpuid(0, 0).eax;
    if (max_leaf < 1) {
        return CpuLevel::Scalar;
    }
    const CpuidRegisters leaf1 = cpuid(1, 0);
    if (!bit(leaf1.edx, 26)) {
        return CpuLevel::Scalar;
    }
    if (!bit(leaf1.ecx, 9)) {
        return CpuLevel::Sse2;
    }
    if (!bit(leaf1.ecx, 19)) {
        return CpuLevel::Ssse3;
    }
    // AVX needs the processor's support and the operating system's: without OSXSAVE and both
    // the SSE and AVX state bits of XCR0, the upper register halves would be lost on a switch.
    const bool os_saves_ymm =
        bit(leaf1.ecx, 27) && bit(leaf1.ecx, 28) && (read_xcr0() & 0x6) == 0x6;
    if (!os_saves_ymm) {
        return CpuLevel::Sse41;
    }
    const unsigned leaf7_ebx = max_leaf >= 7 ? cpuid(7, 0).ebx : 0;
    if (!bit(leaf7_ebx, 5)) {
        return CpuLevel::Avx;
    }
    // AVX-512 F and DQ with BMI2 (every such processor has it), and an operating system that
    // saves the mask registers and all 512 bits of all 32 vector registers (XCR0 bits 5 to 7).
    if (!bit(leaf7_ebx, 16) || !bit(leaf7_ebx, 17) || !bit(leaf7_ebx, 8) ||
        (read_xcr0() & 0xE6) != 0xE6) {
        return CpuLevel::Avx2;
    }
    return CpuLevel::Avx512;
}

#endif

} // namespace

std::string_view to_string(CpuLevel level) {
    switch (level) {
    case CpuLevel::Scalar:
        return "scalar";
    case CpuLevel::Sse2:
        return "sse2";
    case CpuLevel::Ssse3:
        return "ssse3";
    case CpuLevel::Sse41:
        return "sse4.1";
    case CpuLevel::Avx:
        return "avx";
    case CpuLevel::Avx2:
        return "avx2";
    case CpuLevel::Avx512:
        return "avx512";
    case CpuLevel::Neon:
        return "neon";
    }
    return "unknown";
}

CpuLevel detect_cpu_level() {
#if defined(__x86_64__) || defined(__i386__)
    return detect_x86();
#elif defined(__aarch64__)
    return CpuLevel::Neon;
#else
    return CpuLevel::Scalar;
#endif
}

CpuLevel active_cpu_level() {
    // A function-local static: initialised once, thread-safely, on first use.
    static const CpuLevel level = detect_cpu_level();
    return level;
}

bool cpu_supports(CpuLevel level) {
    const CpuLevel active = active_cpu_level();
    if (level == CpuLevel::Scalar || level == active) {
        return true;
    }
    // Neon, the only level of its architecture, implies no x86 level below it in the order.
    return active != CpuLevel::Neon && static_cast<int>(level) <= static_cast<int>(active);
}

} // namespace velmora
