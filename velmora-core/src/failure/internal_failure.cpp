#include "failure/internal_failure.hpp"

#include <atomic>

namespace velmora::failure {
namespace {

std::atomic<FailureReporter> installed_reporter{nullptr};

} // namespace

bool install_failure_reporter(FailureReporter reporter) noexcept {
    FailureReporter expected = nullptr;
    return installed_reporter.compare_exchange_strong(expected, reporter,
                                                      std::memory_order_acq_rel) ||
           expected == reporter;
}

[[gnu::noinline]] void raise_internal_failure(std::string message, std::source_location where) {
    if (const FailureReporter reporter = installed_reporter.load(std::memory_order_acquire)) {
        reporter(message, where, 1);
    }
    throw InternalFailure(std::move(message), where);
}

} // namespace velmora::failure
