#include "failure/backtrace.hpp"

#include <cstdlib>
#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

namespace velmora::failure {
namespace {

constexpr int MAX_FRAMES = 128;

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

} // namespace

[[gnu::noinline]] void write_backtrace(ReportWriter& out, int skip) noexcept {
    void* frames[MAX_FRAMES];
    const int count = ::backtrace(frames, MAX_FRAMES);
    // Frame 0 is this function itself.
    for (int i = 1 + skip, index = 0; i < count; ++i, ++index) {
        write_frame(out, index, frames[i]);
    }
}

} // namespace velmora::failure
