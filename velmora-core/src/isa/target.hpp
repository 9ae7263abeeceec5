// Compiles a stretch of code for a wider instruction set than the rest of the build.
//
// Everything else stays baseline, so that the process can start and detect the processor
// safely. A level's source file includes its headers first (baseline), then opens a region
// around the generic kernels and its own traits, so that every function defined inside, the
// template instances included, is built for that level and nothing outside is. Code inside may
// run only after the caller has checked cpu_supports(). The whole build keeps -ffp-contract=off,
// and the target strings never name "fma": every variant must round exactly as the scalar code.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#define VELMORA_X86 1
#else
#define VELMORA_X86 0
#endif

#if defined(__aarch64__)
#define VELMORA_ARM64 1
#else
#define VELMORA_ARM64 0
#endif

#define VELMORA_PRAGMA(text) _Pragma(#text)

// Opens and closes a region built for the target string `isa` (GCC's and Clang's spelling).
#if defined(__clang__)
#define VELMORA_BEGIN_TARGET(isa)                                                                  \
    VELMORA_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define VELMORA_END_TARGET VELMORA_PRAGMA(clang attribute pop)
#else
#define VELMORA_BEGIN_TARGET(isa) VELMORA_PRAGMA(GCC push_options) VELMORA_PRAGMA(GCC target(isa))
#define VELMORA_END_TARGET VELMORA_PRAGMA(GCC pop_options)
#endif

// The small helpers of the generic kernels: always inlined into the level's entry points, so
// that no vector value crosses a call boundary and every chain stays in registers.
#define VELMORA_LANE_INLINE __attribute__((always_inline)) inline
