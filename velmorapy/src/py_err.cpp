#include "py_err.hpp"

#include "api_failure.hpp"
#include "failure/internal_failure.hpp"
#include "object_text.hpp"
#include "panic_exception.hpp"

namespace velmora::py {
namespace {

bool is_exception_class(PyObject* candidate) {
    return (PyType_GetFlags(Py_TYPE(candidate)) & Py_TPFLAGS_TYPE_SUBCLASS) != 0 &&
           (PyType_GetFlags(reinterpret_cast<PyTypeObject*>(candidate)) &
            Py_TPFLAGS_BASE_EXC_SUBCLASS) != 0;
}

bool is_exception_instance(PyObject* object) {
    return (PyType_GetFlags(Py_TYPE(object)) & Py_TPFLAGS_BASE_EXC_SUBCLASS) != 0;
}

PyErr builtin_error(PyObject* exception_class, MessageText message) {
    return PyErr::new_lazy(
        [exception_class, message = std::move(message)]() -> std::optional<LazyParts> {
            const std::string_view text = message.view();
            PyRef value = PyRef::steal(
                PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
            if (!value) {
                return out_of_memory_or_api_failure();
            }
            return LazyParts{PyRef::borrow(exception_class), std::move(value)};
        });
}

struct FetchedTriple {
    PyRef type, value, traceback;
};

FetchedTriple fetch_triple() noexcept {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    return {PyRef::steal(type), PyRef::steal(value), PyRef::steal(traceback)};
}

} // namespace

std::nullopt_t out_of_memory_or_api_failure() {
    if (!PyErr_ExceptionMatches(PyExc_MemoryError)) {
        raise_api_failure();
    }
    return std::nullopt;
}

void raise_lazy(LazyClosure closure) {
    std::optional<LazyParts> parts = std::move(closure)();
    closure = nullptr;
    if (!parts) {
        return; // the MemoryError that stopped the closure is pending
    }
    if (is_exception_class(parts->type.get())) {
        PyErr_SetObject(parts->type.get(), parts->value.get());
    } else {
        PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
    }
}

PyErr PyErr::new_lazy(LazyClosure closure) {
    return PyErr(Lazy{std::move(closure)});
}

PyErr PyErr::type_error(MessageText message) {
    return builtin_error(PyExc_TypeError, std::move(message));
}
PyErr PyErr::value_error(MessageText message) {
    return builtin_error(PyExc_ValueError, std::move(message));
}
PyErr PyErr::overflow_error(MessageText message) {
    return builtin_error(PyExc_OverflowError, std::move(message));
}
PyErr PyErr::import_error(MessageText message) {
    return builtin_error(PyExc_ImportError, std::move(message));
}
PyErr PyErr::system_error(MessageText message) {
    return builtin_error(PyExc_SystemError, std::move(message));
}

PyErr PyErr::panic_exception(MessageText message) {
    return new_lazy([message = std::move(message)]() -> std::optional<LazyParts> {
        PyObject* type = panic_exception_type();
        if (type == nullptr) {
            return std::nullopt; // out of memory; the MemoryError is pending
        }
        const std::string_view text = message.view();
        PyRef str = PyRef::steal(
            PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
        if (!str) {
            return out_of_memory_or_api_failure();
        }
        PyRef args = PyRef::steal(PyTuple_New(1));
        if (!args) {
            return out_of_memory_or_api_failure();
        }
        PyTuple_SetItem(args.get(), 0, str.release());
        return LazyParts{PyRef::borrow(type), std::move(args)};
    });
}

PyErr PyErr::from_object(PyObject* object) {
    if (is_exception_instance(object)) {
        return PyErr(Normalized{PyRef::borrow(reinterpret_cast<PyObject*>(Py_TYPE(object))),
                                PyRef::borrow(object),
                                PyRef::steal(PyException_GetTraceback(object))});
    }
    return new_lazy([wrapped = PyRef::borrow(object)]() -> std::optional<LazyParts> {
        return LazyParts{wrapped.new_ref(), PyRef::borrow(Py_None)};
    });
}

std::optional<PyErr> PyErr::take() {
    FetchedTriple fetched = fetch_triple();
    if (!fetched.type) {
        return std::nullopt;
    }
    // Identity, not subclass: a Python subclass of PanicException is an ordinary error.
    PyObject* panic_type = panic_exception_type_if_made();
    if (panic_type != nullptr && fetched.type.get() == panic_type) {
        resume_panic(std::move(fetched.type), std::move(fetched.value),
                     std::move(fetched.traceback));
    }
    return PyErr(
        Fetched{std::move(fetched.type), std::move(fetched.value), std::move(fetched.traceback)});
}

PyErr PyErr::fetch() {
    if (std::optional<PyErr> pending = take()) {
        return std::move(*pending);
    }
    return system_error("attempted to fetch exception but none was set");
}

void PyErr::restore() && {
    if (auto* lazy = std::get_if<Lazy>(&state_)) {
        // The error leaves as a created instance, not as a (class, argument) pair.
        raise_lazy(std::move(lazy->closure));
        FetchedTriple raised = fetch_triple();
        PyObject* type = raised.type.release();
        PyObject* value = raised.value.release();
        PyObject* traceback = raised.traceback.release();
        PyErr_NormalizeException(&type, &value, &traceback);
        PyErr_Restore(type, value, traceback);
    } else if (auto* fetched = std::get_if<Fetched>(&state_)) {
        PyErr_Restore(fetched->type.release(), fetched->value.release(),
                      fetched->traceback.release());
    } else if (auto* normalized = std::get_if<Normalized>(&state_)) {
        PyErr_Restore(normalized->type.release(), normalized->value.release(),
                      normalized->traceback.release());
    } else {
        failure::raise_internal_failure(
            "PyErr state should never be invalid outside of normalization");
    }
    state_ = Taken{};
}

PyErr::State PyErr::state() const noexcept {
    return static_cast<State>(state_.index());
}

PyErr::Normalized& PyErr::normalized() {
    if (auto* done = std::get_if<Normalized>(&state_)) {
        return *done;
    }
    if (std::holds_alternative<Taken>(state_)) {
        failure::raise_internal_failure("Cannot normalize a PyErr while already normalizing it.");
    }
    auto before = std::exchange(state_, Taken{});
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    if (auto* lazy = std::get_if<Lazy>(&before)) {
        raise_lazy(std::move(lazy->closure));
        PyErr_Fetch(&type, &value, &traceback);
    } else {
        auto& fetched = std::get<Fetched>(before);
        type = fetched.type.release();
        value = fetched.value.release();
        traceback = fetched.traceback.release();
    }
    PyErr_NormalizeException(&type, &value, &traceback);
    Normalized result{PyRef::steal(type), PyRef::steal(value), PyRef::steal(traceback)};
    if (!result.type) {
        failure::raise_internal_failure("Exception type missing");
    }
    if (!result.value) {
        failure::raise_internal_failure("Exception value missing");
    }
    return state_.emplace<Normalized>(std::move(result));
}

PyObject* PyErr::type() {
    return normalized().type.get();
}
PyObject* PyErr::value() {
    return normalized().value.get();
}
PyObject* PyErr::traceback() {
    return normalized().traceback.get();
}

std::optional<PyErr> PyErr::cause() {
    PyRef cause = PyRef::steal(PyException_GetCause(value()));
    if (!cause) {
        return std::nullopt;
    }
    return from_object(cause.get());
}

void PyErr::set_cause(std::optional<PyErr> cause) {
    PyObject* instance = value();
    // PyException_SetCause takes over the reference (and sets __suppress_context__).
    PyException_SetCause(instance, cause ? cause->value_with_traceback().release() : nullptr);
}

PyRef PyErr::value_with_traceback() {
    Normalized& error = normalized();
    if (error.traceback && PyException_SetTraceback(error.value.get(), error.traceback.get()) < 0) {
        PyErr_Clear(); // a traceback that came from the interpreter is always attachable
    }
    return error.value.new_ref();
}

std::string PyErr::debug_text() {
    Normalized& error = normalized();
    std::string text = "PyErr { type: " + repr_text(error.type.get()) +
                       ", value: " + repr_text(error.value.get()) + ", traceback: ";
    if (error.traceback) {
        text += "Some(" + repr_text(error.traceback.get()) + ")";
    } else {
        text += "None";
    }
    return text + " }";
}

} // namespace velmora::py
