// The failure report an internal failure writes to the process's standard error stream.
#pragma once

#include <source_location>
#include <string_view>

namespace velmora::runtime {

enum class BacktraceSetting { Off, Short, Full };

// Maps a value of VELMORAPY_BACKTRACE (nullptr when unset) to its setting.
BacktraceSetting parse_backtrace_setting(const char* value) noexcept;

// The process's setting, read from VELMORAPY_BACKTRACE at the first call and fixed after that.
BacktraceSetting backtrace_setting() noexcept;

struct ReportRequest {
    std::string_view message;
    std::source_location where;
    // A failure raised while another is in progress on the same thread always shows every frame.
    bool nested = false;
    // Frames of the failure machinery above the reporting call, left out of a short backtrace.
    int machinery_frames = 0;
};

// Writes one report to file descriptor `fd` under the process-wide report lock. A report that
// cannot be written is dropped; writing never fails in a way the caller sees.
void write_failure_report(int fd, const ReportRequest& request) noexcept;

} // namespace velmora::runtime
