#include "runtime/failure_report.hpp"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "runtime/backtrace.hpp"
#include "runtime/report_writer.hpp"
#include "runtime/thread_id.hpp"

namespace velmora::runtime {
namespace {

// 0 until the first report reads the environment, then 1 + the setting.
std::atomic<int> stored_setting{0};

// Cleared by the first report written with backtraces off: the hint is worth showing once.
std::atomic<bool> note_pending{true};

// Reports from several threads must not interleave.
std::mutex report_lock;

void write_header(ReportWriter& out, const ReportRequest& request) noexcept {
    out << "\nthread '<unnamed>' (" << current_thread_id() << ") panicked at "
        << request.where.file_name() << ':' << static_cast<std::uint64_t>(request.where.line())
        << ':' << static_cast<std::uint64_t>(request.where.column()) << ":\n"
        << request.message << '\n';
}

} // namespace

BacktraceSetting parse_backtrace_setting(const char* value) noexcept {
    if (value == nullptr || std::strcmp(value, "0") == 0) {
        return BacktraceSetting::Off;
    }
    if (std::strcmp(value, "full") == 0) {
        return BacktraceSetting::Full;
    }
    return BacktraceSetting::Short;
}

BacktraceSetting backtrace_setting() noexcept {
    int stored = stored_setting.load(std::memory_order_acquire);
    if (stored == 0) {
        const int read =
            1 + static_cast<int>(parse_backtrace_setting(std::getenv("VELMORAPY_BACKTRACE")));
        // The first writer wins; every later reader sees its value.
        stored = stored_setting.compare_exchange_strong(stored, read, std::memory_order_acq_rel)
                     ? read
                     : stored;
    }
    return static_cast<BacktraceSetting>(stored - 1);
}

[[gnu::noinline]] void write_failure_report(int fd, const ReportRequest& request) noexcept {
    const BacktraceSetting setting = request.nested ? BacktraceSetting::Full : backtrace_setting();
    std::lock_guard lock(report_lock);
    ReportWriter out(fd);
    write_header(out, request);
    switch (setting) {
    case BacktraceSetting::Off:
        if (note_pending.exchange(false)) {
            out << "note: run with `VELMORAPY_BACKTRACE=1` environment variable to display a "
                   "backtrace\n";
        }
        break;
    case BacktraceSetting::Short:
        out << "stack backtrace:\n";
        write_backtrace(out, 1 + request.machinery_frames);
        out << "note: Some details are omitted, run with `VELMORAPY_BACKTRACE=full` for a verbose "
               "backtrace.\n";
        break;
    case BacktraceSetting::Full:
        out << "stack backtrace:\n";
        write_backtrace(out, 0);
        break;
    }
}

} // namespace velmora::runtime
