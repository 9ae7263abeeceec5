// Internal failures: a check that must never fail did fail. Python-free, because the core raises
// them too.
//
// An internal failure writes its report to the process's standard error at the moment it is
// raised, then unwinds as an InternalFailure. Only the binding's boundary frame catches it.
// InternalFailure deliberately does not derive from std::exception: nothing that catches
// standard exceptions generically may swallow it on its way to the boundary.
#pragma once

#include <source_location>
#include <string>
#include <string_view>

namespace velmora::failure {

class InternalFailure {
public:
    InternalFailure(std::string message, std::source_location where) noexcept
        : message_(std::move(message)), where_(where) {}

    const std::string& message() const noexcept { return message_; }
    std::string take_message() noexcept { return std::move(message_); }
    const std::source_location& where() const noexcept { return where_; }

private:
    std::string message_;
    std::source_location where_;
};

// Writes the failure report for `message` at `where`, then throws InternalFailure.
[[noreturn]] void
raise_internal_failure(std::string message,
                       std::source_location where = std::source_location::current());

// As raise_internal_failure, without a report: for a failure that was already reported once and
// is only being carried on (a panic that comes back from Python code).
[[noreturn]] void
raise_unreported_internal_failure(std::string message,
                                  std::source_location where = std::source_location::current());

// The catcher of an InternalFailure calls this once it has handled the failure, so that a later
// failure on this thread is not mistaken for one raised during unwinding.
void mark_internal_failure_caught() noexcept;

// Number of internal failures raised on this thread and not yet caught.
int internal_failures_in_progress() noexcept;

// For a failure that cannot unwind any further: writes its report (always with a full backtrace
// when another failure is in progress) and ends the process at once.
[[noreturn]] void
abort_with_internal_failure(std::string_view message,
                            std::source_location where = std::source_location::current()) noexcept;

namespace detail {
// For the failure machinery's own wrappers: `machinery_frames` counts the frames between the
// failing check and the report, which a short backtrace leaves out.
[[noreturn]] void raise_internal_failure_from(std::string message, std::source_location where,
                                              int machinery_frames);
} // namespace detail

// Checks an invariant of the core; a false condition is an internal failure at the caller's line.
[[gnu::always_inline]] inline void
check(bool condition, std::string_view message,
      std::source_location where = std::source_location::current()) {
    if (!condition) {
        raise_internal_failure(std::string(message), where);
    }
}

} // namespace velmora::failure
