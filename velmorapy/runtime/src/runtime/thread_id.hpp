// The operating system's id of the calling thread, as the report header shows it: the number
// Python's threading.get_native_id() gives for the same thread.
#pragma once

#include <cstdint>

namespace velmora::runtime {

std::uint64_t current_thread_id() noexcept;

} // namespace velmora::runtime
