// Lets a long computation notice a signal (Ctrl-C, say) without giving up the interpreter lock.
#pragma once

#include <optional>

#include "py_err.hpp"

namespace velmora::py {

// Polled by a long core loop as its interruption check. Each poll runs the interpreter's
// pending signal handlers (PyErr_CheckSignals, with the lock held, as the caller already holds
// it); when a handler raises, the poll says stop and keeps that exception for the caller to
// return instead of a result.
class PendingSignals {
public:
    // True when a signal handler raised: the computation should stop.
    bool operator()();

    // The exception a handler raised; set once operator() has returned true.
    std::optional<PyErr> take_error() noexcept { return std::move(error_); }

private:
    std::optional<PyErr> error_;
};

} // namespace velmora::py
