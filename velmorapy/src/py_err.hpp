// PyErr: a Python error carried as a value, from the failing step back to the boundary frame.
//
// A record is in exactly one state:
//   lazy       - a closure that makes (class, argument) only when the error is raised, so an
//                error of the module's own costs no Python object until then;
//   fetched    - the interpreter's pending error exactly as PyErr_Fetch returned it;
//   normalized - type, exception instance and traceback;
//   taken      - nothing; exists only while the record is being normalized.
// The accessors normalize first; restore() consumes the record in any state.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <variant>

#include "message_text.hpp"
#include "py_ref.hpp"
#include "unique_function.hpp"

namespace velmora::py {

// What a lazy closure makes: the exception class (or any object, for a wrapped non-exception)
// and the argument value (a tuple spreads into the call, None means no argument).
struct LazyParts {
    PyRef type;
    PyRef value;
};

// Runs with the interpreter lock held. Returns nullopt, with a MemoryError pending, when the
// interpreter has no memory left for the error's own objects.
using LazyClosure = UniqueFunction<std::optional<LazyParts>()>;

class PyErr {
public:
    enum class State { Lazy, Fetched, Normalized, Taken };

    static PyErr new_lazy(LazyClosure closure);
    static PyErr type_error(MessageText message);
    static PyErr value_error(MessageText message);
    static PyErr overflow_error(MessageText message);
    static PyErr import_error(MessageText message);
    static PyErr system_error(MessageText message);
    // The args of the raised PanicException are a one-element tuple holding the message.
    static PyErr panic_exception(MessageText message);

    // An exception instance becomes a normalized record (with its own traceback); any other
    // object a lazy record that raises as TypeError "exceptions must derive from BaseException".
    static PyErr from_object(PyObject* object);

    // The interpreter's pending error, or nothing when none is pending. For results that can
    // also be genuine values (-1.0, 2**64 - 1, the end of an iteration). A pending
    // PanicException is not returned: it is resumed as an internal failure.
    static std::optional<PyErr> take();

    // As take(), but no pending error yields SystemError "attempted to fetch exception but none
    // was set". For results that always mean failure.
    static PyErr fetch();

    PyErr(PyErr&&) noexcept = default;
    PyErr& operator=(PyErr&&) noexcept = default;
    PyErr(const PyErr&) = delete;
    PyErr& operator=(const PyErr&) = delete;
    ~PyErr() = default;

    // Makes this error the interpreter's current exception.
    void restore() &&;

    State state() const noexcept;

    // Borrowed references, valid while the record lives; each normalizes the record first.
    PyObject* type();
    PyObject* value();
    PyObject* traceback();

    // The instance's __cause__, or nothing.
    std::optional<PyErr> cause();
    // Sets (or, with nothing, clears) __cause__; this also sets __suppress_context__.
    void set_cause(std::optional<PyErr> cause);

    // A new reference to the instance, with this record's traceback attached to it.
    PyRef value_with_traceback();

    // "PyErr { type: ..., value: ..., traceback: None|Some(...) }", for internal failures.
    std::string debug_text();

private:
    struct Lazy {
        LazyClosure closure;
    };
    struct Fetched {
        PyRef type, value, traceback;
    };
    struct Normalized {
        PyRef type, value, traceback;
    };
    struct Taken {};

    explicit PyErr(Lazy lazy) noexcept : state_(std::move(lazy)) {}
    explicit PyErr(Fetched fetched) noexcept : state_(std::move(fetched)) {}
    explicit PyErr(Normalized normalized) noexcept : state_(std::move(normalized)) {}

    Normalized& normalized();

    std::variant<Lazy, Fetched, Normalized, Taken> state_;
};

template <class T>
using PyResult = std::expected<T, PyErr>;

// For a closure whose object could not be made: out of memory, returns nullopt and leaves the
// MemoryError pending (the error raised becomes that MemoryError); any other cause is the
// internal failure "Python API call failed".
std::nullopt_t out_of_memory_or_api_failure();

// Hands a lazy closure's parts to the interpreter as its current exception.
void raise_lazy(LazyClosure closure);

} // namespace velmora::py
