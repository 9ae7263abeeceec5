#include "runtime/failure_reporting.hpp"

#include <cstdlib>
#include <unistd.h>

#include "failure/internal_failure.hpp"
#include "runtime/failure_report.hpp"

namespace velmora::runtime {
namespace {

// Raised and not yet caught on this thread. A failure raised while this is non-zero happens
// during unwinding and always gets a full backtrace.
thread_local int in_progress = 0;

} // namespace

void install_failure_reporting() noexcept {
    // Only this library installs a reporter, so the first installation is always this one.
    static_cast<void>(failure::install_failure_reporter(&report_internal_failure));
}

[[gnu::noinline]] void report_internal_failure(std::string_view message, std::source_location where,
                                               int machinery_frames) noexcept {
    // Written now, before any unwinding, so that the report shows the stack at the failure.
    write_failure_report(STDERR_FILENO, ReportRequest{.message = message,
                                                      .where = where,
                                                      .nested = in_progress > 0,
                                                      .machinery_frames = machinery_frames + 1});
    ++in_progress;
}

[[gnu::noinline]] void raise_internal_failure_from(std::string message, std::source_location where,
                                                   int machinery_frames) {
    report_internal_failure(message, where, machinery_frames + 1);
    throw failure::InternalFailure(std::move(message), where);
}

void raise_unreported_internal_failure(std::string message, std::source_location where) {
    ++in_progress;
    throw failure::InternalFailure(std::move(message), where);
}

void mark_internal_failure_caught() noexcept {
    if (in_progress > 0) {
        --in_progress;
    }
}

int internal_failures_in_progress() noexcept {
    return in_progress;
}

[[gnu::noinline]] void abort_with_internal_failure(std::string_view message,
                                                   std::source_location where) noexcept {
    write_failure_report(STDERR_FILENO, ReportRequest{.message = message,
                                                      .where = where,
                                                      .nested = in_progress > 0,
                                                      .machinery_frames = 1});
    std::abort();
}

} // namespace velmora::runtime
