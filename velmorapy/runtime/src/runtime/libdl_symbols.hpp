// Binds the dynamic-linker functions the module uses to their original glibc versions.
//
// glibc 2.34 moved dladdr and dlsym from libdl into libc under a new symbol version. Binding the
// original versions keeps the module loadable by older glibc, where libdl (linked for this)
// provides them. Include this once in each source file that calls them, after <dlfcn.h>.
#pragma once

#include <dlfcn.h>

#if defined(__GLIBC__)
#if defined(__x86_64__) && !defined(__ILP32__)
#define VELMORA_LIBDL_VERSION "GLIBC_2.2.5"
#elif defined(__aarch64__)
#define VELMORA_LIBDL_VERSION "GLIBC_2.17"
#elif defined(__s390x__)
#define VELMORA_LIBDL_VERSION "GLIBC_2.2"
#endif
#endif

#ifdef VELMORA_LIBDL_VERSION
__asm__(".symver dladdr,dladdr@" VELMORA_LIBDL_VERSION);
__asm__(".symver dlsym,dlsym@" VELMORA_LIBDL_VERSION);
#endif
