#include "api_failure.hpp"

#include "runtime/failure_reporting.hpp"

namespace velmora::py {
namespace {

[[gnu::noinline, noreturn]] void fail(std::source_location where) {
    // The interpreter's reason (MemoryError, mostly) goes to sys.stderr before the report.
    PyErr_Print();
    runtime::raise_internal_failure_from("Python API call failed", where, 2);
}

} // namespace

[[gnu::noinline]] void raise_api_failure(std::source_location where) {
    fail(where);
}

[[gnu::noinline]] PyRef made_or_api_failure(PyObject* made, std::source_location where) {
    if (made == nullptr) {
        fail(where);
    }
    return PyRef::steal(made);
}

} // namespace velmora::py
