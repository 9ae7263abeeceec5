// Compiles one function for a wider instruction set than the rest of the build.
//
// Only functions marked this way may use those instructions, and only after the caller has
// checked cpu_supports(); everything else stays baseline so that the process can start and
// detect the processor safely. The whole build keeps -ffp-contract=off, and the target strings
// never name "fma": every variant must round exactly as the scalar code does.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#define VELMORA_X86 1
#define VELMORA_TARGET(isa) __attribute__((target(isa)))
#else
#define VELMORA_X86 0
#define VELMORA_TARGET(isa)
#endif
