#include "pending_signals.hpp"

namespace velmora::py {

bool PendingSignals::operator()() {
    if (PyErr_CheckSignals() == 0) {
        return false;
    }
    error_ = PyErr::fetch();
    return true;
}

} // namespace velmora::py
