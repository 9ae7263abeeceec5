// Internal failures: a check that must never fail did fail. Python-free, because the core raises
// them too.
//
// An internal failure is handed to the process's failure reporter at the moment it is raised,
// so the report shows the stack at the failure, then unwinds as an InternalFailure. Only the
// binding's boundary frame catches it. InternalFailure deliberately does not derive from
// std::exception: nothing that catches standard exceptions generically may swallow it on its
// way to the boundary.
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

// Called with every internal failure just before it is thrown, on the failing thread.
// `machinery_frames` counts the frames between the failing check and the reporter (the raise
// itself), which a report may leave out.
using FailureReporter = void (*)(std::string_view message, std::source_location where,
                                 int machinery_frames) noexcept;

// Installs the process's reporter, safe from any thread. The first installation stays for the
// life of the process; returns whether `reporter` is the installed one. Until one is installed
// (the core's own tests) failures are raised without a report: the InternalFailure still
// carries the message and the location.
bool install_failure_reporter(FailureReporter reporter) noexcept;

// Hands `message` at `where` to the reporter, then throws InternalFailure.
[[noreturn]] void
raise_internal_failure(std::string message,
                       std::source_location where = std::source_location::current());

// Checks an invariant of the core; a false condition is an internal failure at the caller's line.
[[gnu::always_inline]] inline void
check(bool condition, std::string_view message,
      std::source_location where = std::source_location::current()) {
    if (!condition) {
        raise_internal_failure(std::string(message), where);
    }
}

} // namespace velmora::failure
