#include "runtime/thread_id.hpp"

#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#elif defined(__APPLE__)
#include <pthread.h>
#else
#include <functional>
#include <thread>
#endif

namespace velmora::runtime {

std::uint64_t current_thread_id() noexcept {
#if defined(__linux__)
    // The system call rather than gettid(): glibc has the wrapper only since 2.30, musl since
    // 1.2.2, and the module must load on older systems.
    return static_cast<std::uint64_t>(::syscall(SYS_gettid));
#elif defined(__APPLE__)
    std::uint64_t id = 0;
    ::pthread_threadid_np(nullptr, &id);
    return id;
#else
    // No kernel thread id we know of: a number that at least tells threads apart.
    return std::hash<std::thread::id>{}(std::this_thread::get_id());
#endif
}

} // namespace velmora::runtime
