// PyRef: the sole owner of one strong reference to a Python object.
#pragma once

#include <utility>

#include "python.hpp"

namespace velmora::py {

class PyRef {
public:
    PyRef() noexcept = default;

    // Takes over a new reference (which may be null).
    static PyRef steal(PyObject* object) noexcept { return PyRef(object); }

    // Takes a new reference of its own to a borrowed object (which may be null).
    static PyRef borrow(PyObject* object) noexcept {
        if (object != nullptr) {
            Py_IncRef(object);
        }
        return PyRef(object);
    }

    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() { reset(); }

    PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

    // Hands the reference to the caller, who now owns it.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }

    // A second owner of the same object.
    PyRef new_ref() const noexcept { return borrow(object_); }

    void reset() noexcept {
        if (PyObject* old = std::exchange(object_, nullptr)) {
            Py_DecRef(old);
        }
    }

private:
    explicit PyRef(PyObject* object) noexcept : object_(object) {}

    PyObject* object_ = nullptr;
};

} // namespace velmora::py
