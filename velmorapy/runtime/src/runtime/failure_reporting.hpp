// The binding's side of internal failures: the reporter the core hands every failure to, the
// count of failures in flight on each thread, and the raises and the abort of the binding.
#pragma once

#include <source_location>
#include <string>
#include <string_view>

namespace velmora::runtime {

// Makes the core report its failures through report_internal_failure. Every entry into the
// process's native code calls it before anything can fail; calling it again is free, from any
// thread.
void install_failure_reporting() noexcept;

// The reporter: writes the report to standard error, with every frame when another failure is
// in progress on this thread, and counts this one as in progress until it is caught.
void report_internal_failure(std::string_view message, std::source_location where,
                             int machinery_frames) noexcept;

// For the binding's own failure wrappers: reports, then throws InternalFailure. `machinery_frames`
// counts the wrapper frames between the failing call and this one, left out of a short backtrace.
[[noreturn]] void raise_internal_failure_from(std::string message, std::source_location where,
                                              int machinery_frames);

// Throws InternalFailure without a report: for a failure that was already reported once and is
// only being carried on (a panic that comes back from Python code).
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

} // namespace velmora::runtime
