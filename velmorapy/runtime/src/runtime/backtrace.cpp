#include "runtime/backtrace.hpp"

#if VELMORA_STACK_WALKER != VELMORA_STACK_WALKER_NONE
#include <cstdint>
#include <cstdlib>
#include <cxxabi.h>
#include <dlfcn.h>
#endif
#if VELMORA_STACK_WALKER == VELMORA_STACK_WALKER_EXECINFO
#include <execinfo.h>
#elif VELMORA_STACK_WALKER == VELMORA_STACK_WALKER_UNWIND
#include <unwind.h>
#endif

#if VELMORA_STACK_WALKER != VELMORA_STACK_WALKER_NONE
#include "runtime/libdl_symbols.hpp"
#endif

namespace velmora::runtime {
namespace {

#if VELMORA_STACK_WALKER != VELMORA_STACK_WALKER_NONE

constexpr int MAX_FRAMES = 128;

#if VELMORA_STACK_WALKER == VELMORA_STACK_WALKER_UNWIND
struct UnwindFrames {
    void** frames;
    int capacity;
    int count;
};

_Unwind_Reason_Code record_frame(_Unwind_Context* context, void* state) {
    auto& collected = *static_cast<UnwindFrames*>(state);
    if (collected.count == collected.capacity) {
        return _URC_END_OF_STACK;
    }
    const _Unwind_Ptr address = _Unwind_GetIP(context);
    // The outermost frame may come with no address: the end of the stack, not a frame.
    if (address == 0) {
        return _URC_END_OF_STACK;
    }
    collected.frames[collected.count++] = reinterpret_cast<void*>(address);
    return _URC_NO_REASON;
}
#endif

// Return addresses of the calling frames, the caller's own first: always inlined, so that both
// walkers start at write_backtrace.
[[gnu::always_inline]] inline int walk_stack(void** frames, int capacity) noexcept {
#if VELMORA_STACK_WALKER == VELMORA_STACK_WALKER_EXECINFO
    return ::backtrace(frames, capacity);
#else
    UnwindFrames collected{frames, capacity, 0};
    _Unwind_Backtrace(record_frame, &collected);
    return collected.count;
#endif
}

void write_symbol(ReportWriter& out, const char* mangled) noexcept {
    if (mangled == nullptr) {
        out << "<unknown>";
        return;
    }
    int status = 0;
    // __cxa_demangle allocates with malloc; without memory the mangled name has to do.
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    out << (status == 0 && demangled != nullptr ? demangled : mangled);
    std::free(demangled);
}

void write_frame(ReportWriter& out, int index, void* address) noexcept {
    out << "  " << static_cast<std::uint64_t>(index) << ": ";
    Dl_info info{};
    if (dladdr(address, &info) == 0) {
        write_symbol(out, nullptr);
        out << "\n             at ";
        out.hex(reinterpret_cast<std::uintptr_t>(address)) << '\n';
        return;
    }
    write_symbol(out, info.dli_sname);
    out << "\n             at " << (info.dli_fname != nullptr ? info.dli_fname : "?") << '+';
    out.hex(reinterpret_cast<std::uintptr_t>(address) -
            reinterpret_cast<std::uintptr_t>(info.dli_fbase))
        << '\n';
}

#endif

} // namespace

[[gnu::noinline]] void write_backtrace([[maybe_unused]] ReportWriter& out,
                                       [[maybe_unused]] int skip) noexcept {
#if VELMORA_STACK_WALKER != VELMORA_STACK_WALKER_NONE
    void* frames[MAX_FRAMES];
    const int count = walk_stack(frames, MAX_FRAMES);
    // Frame 0 is this function itself.
    for (int i = 1 + skip, index = 0; i < count; ++i, ++index) {
        write_frame(out, index, frames[i]);
    }
#endif
}

} // namespace velmora::runtime
