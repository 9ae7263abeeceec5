#include "boundary_frame.hpp"

namespace velmora::py::detail {
namespace {

// The interpreter's MemoryError if one is pending, else a new one.
PyObject* fail_with_memory_error() noexcept {
    if (!PyErr_ExceptionMatches(PyExc_MemoryError)) {
        PyErr_NoMemory();
    }
    return nullptr;
}

template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
// Clang 16 does not deduce an aggregate's template arguments by itself.
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

PyObject* hand_over(BodyOutcome outcome) {
    return std::visit(Overloaded{
                          [](PyResult<PyRef>& result) -> PyObject* {
                              if (result) {
                                  return result->release();
                              }
                              std::move(result).error().restore();
                              return nullptr;
                          },
                          [](failure::InternalFailure& failure) -> PyObject* {
                              PyErr::panic_exception(failure.take_message()).restore();
                              return nullptr;
                          },
                          [](OutOfMemory) -> PyObject* { return fail_with_memory_error(); },
                      },
                      outcome);
}

} // namespace

PyObject* finish_boundary_frame(BodyOutcome outcome) noexcept {
    // The guard: nothing may unwind into the interpreter. Running out of memory while raising
    // still leaves as MemoryError; any other failure here cannot be reported to the caller, so
    // the process ends.
    try {
        return hand_over(std::move(outcome));
    } catch (std::bad_alloc&) {
        return fail_with_memory_error();
    } catch (failure::InternalFailure&) {
        runtime::abort_with_internal_failure("uncaught panic at ffi boundary");
    }
}

} // namespace velmora::py::detail
