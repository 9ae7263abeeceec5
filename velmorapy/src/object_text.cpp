#include "object_text.hpp"

#include "api_failure.hpp"
#include "py_ref.hpp"

namespace velmora::py {
namespace {

std::string unprintable_text(PyObject* object) {
    // The error of str()/repr() is pending: the unraisable hook reports it, and the message
    // still gets a text.
    PyErr_WriteUnraisable(object);
    PyRef name = PyRef::steal(
        PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__name__"));
    if (!name || !PyUnicode_Check(name.get())) {
        PyErr_Clear();
        return "<unprintable object>";
    }
    return "<unprintable " + unicode_text(name.get()) + " object>";
}

std::string text_of(PyObject* object, PyObject* (*render)(PyObject*)) {
    PyRef text = PyRef::steal(render(object));
    if (!text) {
        return unprintable_text(object);
    }
    return unicode_text(text.get());
}

} // namespace

std::string unicode_text(PyObject* string) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(string, &size)) {
        return std::string(utf8, static_cast<std::size_t>(size));
    }
    // Lone surrogates have no UTF-8 form: pass them through as bytes, then let the decoder
    // replace every invalid sequence with U+FFFD.
    PyErr_Clear();
    PyRef bytes = made_or_api_failure(PyUnicode_AsEncodedString(string, "utf-8", "surrogatepass"));
    char* data = nullptr;
    Py_ssize_t length = 0;
    if (PyBytes_AsStringAndSize(bytes.get(), &data, &length) < 0) {
        raise_api_failure();
    }
    PyRef replaced = made_or_api_failure(PyUnicode_DecodeUTF8(data, length, "replace"));
    const char* utf8 = PyUnicode_AsUTF8AndSize(replaced.get(), &size);
    if (utf8 == nullptr) {
        raise_api_failure();
    }
    return std::string(utf8, static_cast<std::size_t>(size));
}

std::string str_text(PyObject* object) {
    return text_of(object, PyObject_Str);
}

std::string repr_text(PyObject* object) {
    return text_of(object, PyObject_Repr);
}

} // namespace velmora::py
