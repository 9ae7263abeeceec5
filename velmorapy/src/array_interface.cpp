#include "array_interface.hpp"

#include <array>
#include <string_view>

#include "dict_item.hpp"
#include "score_formats.hpp"
#include "score_memory.hpp"

namespace velmora::py {
namespace {

// The attribute `name` of `object`; its failure (only a MemoryError, for the objects asked
// here) is returned.
PyResult<PyRef> attribute(PyObject* object, const char* name) {
    PyRef value = PyRef::steal(PyObject_GetAttrString(object, name));
    if (!value) {
        return std::unexpected(PyErr::fetch());
    }
    return value;
}

std::optional<std::string_view> exact_text(PyObject* object) {
    if (object == nullptr || !PyUnicode_CheckExact(object)) {
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
    if (utf8 == nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string_view(utf8, static_cast<std::size_t>(size));
}

bool has_text_attribute(PyObject* object, const char* name, std::string_view expected) {
    PyRef value = PyRef::steal(PyObject_GetAttrString(object, name));
    const bool matches = exact_text(value.get()) == expected;
    PyErr_Clear(); // a type whose name cannot be read is not numpy's
    return matches;
}

// One exact int of the interface as a Py_ssize_t, or nothing.
std::optional<Py_ssize_t> exact_ssize(PyObject* object) {
    if (object == nullptr || !PyLong_CheckExact(object)) {
        return std::nullopt;
    }
    const Py_ssize_t value = PyLong_AsSsize_t(object);
    if (value == -1 && PyErr_Occurred() != nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return value;
}

std::optional<Py_ssize_t> only_item(PyObject* tuple) {
    if (tuple == nullptr || !PyTuple_CheckExact(tuple) || PyTuple_Size(tuple) != 1) {
        return std::nullopt;
    }
    return exact_ssize(PyTuple_GetItem(tuple, 0));
}

std::optional<const std::byte*> data_address(PyObject* data) {
    if (data == nullptr || !PyTuple_CheckExact(data) || PyTuple_Size(data) != 2) {
        return std::nullopt;
    }
    PyObject* address = PyTuple_GetItem(data, 0);
    if (address == nullptr || !PyLong_CheckExact(address)) {
        return std::nullopt;
    }
    void* pointer = PyLong_AsVoidPtr(address);
    if (pointer == nullptr && PyErr_Occurred() != nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return static_cast<const std::byte*>(pointer);
}

// The memory an interface dict describes, when it is one dimension of a counted format. Every
// value is an exact built-in object that numpy made, so reading it runs no Python code; only
// looking the keys up can fail (a MemoryError).
PyResult<std::optional<ScoreMemory>> described_memory(PyObject* interface) {
    if (!PyDict_CheckExact(interface)) {
        return std::nullopt;
    }
    constexpr std::array<const char*, 4> keys = {"typestr", "shape", "data", "strides"};
    std::array<PyObject*, keys.size()> values{};
    for (std::size_t k = 0; k < keys.size(); ++k) {
        PyResult<PyObject*> value = dict_item(interface, keys[k]);
        if (!value) {
            return std::unexpected(std::move(value).error());
        }
        values[k] = *value;
    }
    const auto [typestr, shape, data, strides] = values;
    const std::optional<StoredFormat> stored = from_array_typestr(exact_text(typestr).value_or(""));
    const std::optional<Py_ssize_t> count = only_item(shape);
    const std::optional<const std::byte*> first = data_address(data);
    if (!stored || !count || *count < 0 || !first) {
        return std::nullopt;
    }
    const auto size = static_cast<Py_ssize_t>(item_size(stored->format));
    // No strides (None) means packed items.
    const std::optional<Py_ssize_t> stride =
        strides == Py_None ? std::optional(size) : only_item(strides);
    if (!stride || !addressable(*first, static_cast<std::size_t>(*count), *stride,
                                static_cast<std::size_t>(size))) {
        return std::nullopt;
    }
    return ScoreMemory{*first, static_cast<std::size_t>(*count), *stride, stored->format,
                       stored->byte_swapped};
}

} // namespace

bool is_exact_numpy_array(PyObject* object) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(object));
    // A class written in Python is a heap type and could answer anything, running code as it
    // does; numpy's ndarray is a static type, whose names come from its C definition.
    if ((PyType_GetFlags(Py_TYPE(object)) & Py_TPFLAGS_HEAPTYPE) != 0 ||
        !Py_IS_TYPE(type, &PyType_Type)) {
        return false;
    }
    return has_text_attribute(type, "__name__", "ndarray") &&
           has_text_attribute(type, "__module__", "numpy");
}

PyResult<std::optional<promotion::ArmCounts>> count_numpy_array(PyObject* array) {
    // Held for the whole read: the memory belongs to the array.
    const PyRef held = PyRef::borrow(array);
    // The dtype first, so that the interface is asked only of the plain numeric dtypes whose
    // interface numpy builds in C: a structured dtype's runs Python code of numpy's own.
    auto dtype = attribute(held.get(), "dtype");
    if (!dtype) {
        return std::unexpected(std::move(dtype).error());
    }
    auto typestr = attribute(dtype->get(), "str");
    if (!typestr) {
        return std::unexpected(std::move(typestr).error());
    }
    if (!from_array_typestr(exact_text(typestr->get()).value_or(""))) {
        return std::nullopt;
    }
    auto interface = attribute(held.get(), "__array_interface__");
    if (!interface) {
        return std::unexpected(std::move(interface).error());
    }
    PyResult<std::optional<ScoreMemory>> memory = described_memory(interface->get());
    if (!memory) {
        return std::unexpected(std::move(memory).error());
    }
    if (!*memory) {
        return std::nullopt;
    }
    // From the address to the last item no Python code runs, so nothing can free or move the
    // array's memory while it is read.
    return count_successes(**memory);
}

} // namespace velmora::py
