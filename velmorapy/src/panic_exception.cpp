#include "panic_exception.hpp"

#include <atomic>
#include <string>
#include <string_view>
#include <unistd.h>

#include "failure/internal_failure.hpp"
#include "object_text.hpp"
#include "py_err.hpp"
#include "runtime/failure_reporting.hpp"
#include "runtime/report_writer.hpp"

namespace velmora::py {
namespace {

constexpr char PANIC_EXCEPTION_NAME[] = "velmorapy_runtime.PanicException";

// A name without a module part, which CPython refuses: the way the test probe makes the making
// of the type fail for real.
constexpr char REFUSED_NAME[] = "PanicException";

constexpr char PANIC_EXCEPTION_DOC[] =
    "\nThe exception raised when native code called from Python panics.\n\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";
static_assert(sizeof PANIC_EXCEPTION_DOC - 1 == 237);

// Filled once under the interpreter lock and never released: the type must outlive every
// instance that Python code may keep.
PyObject* panic_type_cell = nullptr;

std::atomic<int> makings_to_fail{0};

const char* name_for_next_making() noexcept {
    int remaining = makings_to_fail.load();
    while (remaining > 0) {
        if (makings_to_fail.compare_exchange_weak(remaining, remaining - 1)) {
            return REFUSED_NAME;
        }
    }
    return PANIC_EXCEPTION_NAME;
}

std::string resumed_message(PyObject* value) {
    if (value != nullptr) {
        if (PyRef text = PyRef::steal(PyObject_Str(value))) {
            return unicode_text(text.get());
        }
        PyErr_Clear();
    }
    return "Unwrapped panic from Python code";
}

} // namespace

PyObject* panic_exception_type_if_made() noexcept {
    return panic_type_cell;
}

PyObject* panic_exception_type() {
    if (panic_type_cell != nullptr) {
        return panic_type_cell;
    }
    PyRef base = PyRef::borrow(PyExc_BaseException);
    PyObject* made =
        PyErr_NewExceptionWithDoc(name_for_next_making(), PANIC_EXCEPTION_DOC, base.get(), nullptr);
    if (made == nullptr) {
        if (PyErr_ExceptionMatches(PyExc_MemoryError)) {
            return nullptr;
        }
        // fetch() cannot loop back here: with the cell empty no PanicException can be pending.
        PyErr error = PyErr::fetch();
        failure::raise_internal_failure("Failed to initialize new exception type.: " +
                                        error.debug_text());
    }
    // Making the type can run Python code and let another thread make one first: keep the
    // first and drop ours.
    if (panic_type_cell != nullptr) {
        Py_DecRef(made);
    } else {
        panic_type_cell = made;
    }
    return panic_type_cell;
}

void resume_panic(PyRef type, PyRef value, PyRef traceback) {
    std::string message = resumed_message(value.get());
    {
        runtime::ReportWriter out(STDERR_FILENO);
        out << "--- velmorapy is resuming a panic after fetching a PanicException from Python. "
               "---\n"
            << "Python stack trace below:\n";
    }
    PyErr_Restore(type.release(), value.release(), traceback.release());
    PyErr_PrintEx(0);
    // Reported when it first happened; now it only carries on to this call's boundary frame.
    runtime::raise_unreported_internal_failure(std::move(message));
}

namespace testing {

void fail_next_panic_type_makings(int count) noexcept {
    makings_to_fail.store(count);
}

} // namespace testing

} // namespace velmora::py
