// The frames of the current call stack, written into a failure report.
#pragma once

#include "failure/report_writer.hpp"

namespace velmora::failure {

// Writes the frames below the caller's own `skip` innermost frames, one per line, numbered from
// 0. Symbol names come from the dynamic symbol table and are demangled where possible.
void write_backtrace(ReportWriter& out, int skip) noexcept;

} // namespace velmora::failure
