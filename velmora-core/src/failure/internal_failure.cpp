#include "failure/internal_failure.hpp"

#include <cstdlib>
#include <unistd.h>

#include "failure/failure_report.hpp"

namespace velmora::failure {
namespace {

// Raised and not yet caught on this thread. A failure raised while this is non-zero happens
// during unwinding and always gets a full backtrace.
thread_local int in_progress = 0;

} // namespace

namespace detail {

[[gnu::noinline]] void raise_internal_failure_from(std::string message, std::source_location where,
                                                   int machinery_frames) {
    // The report is written now, before any unwinding, so it shows the stack at the failure.
    write_failure_report(STDERR_FILENO, ReportRequest{.message = message,
                                                      .where = where,
                                                      .nested = in_progress > 0,
                                                      .machinery_frames = machinery_frames + 1});
    ++in_progress;
    throw InternalFailure(std::move(message), where);
}

} // namespace detail

[[gnu::noinline]] void raise_internal_failure(std::string message, std::source_location where) {
    detail::raise_internal_failure_from(std::move(message), where, 1);
}

void raise_unreported_internal_failure(std::string message, std::source_location where) {
    ++in_progress;
    throw InternalFailure(std::move(message), where);
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

} // namespace velmora::failure
