// The frames of the current call stack, written into a failure report.
#pragma once

#include "runtime/report_writer.hpp"

// Which stack walker collects the frames: the C library's backtrace() where it has one (glibc,
// macOS, the BSDs), else the compiler's unwinder (musl), else none, and a report then shows no
// frames. A build may choose one itself; the tests build each kind on one machine this way.
#define VELMORA_STACK_WALKER_NONE 0
#define VELMORA_STACK_WALKER_EXECINFO 1
#define VELMORA_STACK_WALKER_UNWIND 2
#ifndef VELMORA_STACK_WALKER
#if __has_include(<execinfo.h>)
#define VELMORA_STACK_WALKER VELMORA_STACK_WALKER_EXECINFO
#elif __has_include(<unwind.h>)
#define VELMORA_STACK_WALKER VELMORA_STACK_WALKER_UNWIND
#else
#define VELMORA_STACK_WALKER VELMORA_STACK_WALKER_NONE
#endif
#endif

namespace velmora::runtime {

// Writes the frames below the caller's own `skip` innermost frames, one per line, numbered from
// 0. Symbol names come from the dynamic symbol table and are demangled where possible. Without
// a stack walker it writes nothing.
void write_backtrace(ReportWriter& out, int skip) noexcept;

} // namespace velmora::runtime
