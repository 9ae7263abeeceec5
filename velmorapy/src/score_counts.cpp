#include "score_counts.hpp"

#include <optional>
#include <string_view>

#include "array_interface.hpp"
#include "buffer_functions.hpp"
#include "conversion.hpp"
#include "dict_item.hpp"
#include "score_formats.hpp"
#include "score_memory.hpp"

namespace velmora::py {
namespace {

// bytes and bytearray iterate as ints 0 to 255. The interpreter's own calls read them.
std::optional<ScoreMemory> byte_string_memory(PyObject* object) {
    const char* first = nullptr;
    Py_ssize_t count = 0;
    if (PyBytes_CheckExact(object)) {
        first = PyBytes_AsString(object);
        count = PyBytes_Size(object);
    } else if (PyByteArray_CheckExact(object)) {
        first = PyByteArray_AsString(object);
        count = PyByteArray_Size(object);
    } else {
        return std::nullopt;
    }
    if (first == nullptr || count < 0) {
        PyErr_Clear();
        return std::nullopt;
    }
    return ScoreMemory{reinterpret_cast<const std::byte*>(first), static_cast<std::size_t>(count),
                       1, ScoreFormat::uint8, false};
}

// array.array is a heap type that a Python class could imitate by name: only the type of the
// module that the interpreter imported counts. Subclasses may iterate differently. Only a
// failure to look them up (a MemoryError) is an error; a missing module or type means no.
PyResult<bool> is_exact_array_array(PyObject* object) {
    PyResult<PyObject*> module = dict_item(PyImport_GetModuleDict(), "array");
    if (!module) {
        return std::unexpected(std::move(module).error());
    }
    if (*module == nullptr || !PyModule_CheckExact(*module)) {
        return false;
    }
    PyRef type = PyRef::steal(PyObject_GetAttrString(*module, "array"));
    if (!type) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
            return std::unexpected(PyErr::fetch());
        }
        PyErr_Clear();
        return false;
    }
    return type.get() == reinterpret_cast<PyObject*>(Py_TYPE(object));
}

std::optional<ScoreMemory> buffer_memory(const BufferView& view) {
    if (view.ndim != 1 || view.shape == nullptr || view.strides == nullptr ||
        view.format == nullptr || view.itemsize <= 0 ||
        (view.suboffsets != nullptr && view.suboffsets[0] >= 0)) {
        return std::nullopt;
    }
    const std::optional<ScoreFormat> format =
        from_native_buffer_format(view.format, static_cast<std::size_t>(view.itemsize));
    const Py_ssize_t count = view.shape[0];
    Py_ssize_t extent = 0;
    // A view's length is its items' total size; anything else describes no memory to trust.
    if (!format || count < 0 || __builtin_mul_overflow(count, view.itemsize, &extent) ||
        extent != view.len) {
        return std::nullopt;
    }
    const auto* first = static_cast<const std::byte*>(view.buf);
    if (!addressable(first, static_cast<std::size_t>(count), view.strides[0],
                     static_cast<std::size_t>(view.itemsize))) {
        return std::nullopt;
    }
    return ScoreMemory{first, static_cast<std::size_t>(count), view.strides[0], *format, false};
}

// Only for exporters whose iteration yields exactly their buffer's items.
std::optional<promotion::ArmCounts> count_buffer(PyObject* exporter) {
    // The held view keeps the exporter from resizing or freeing the memory until it goes.
    const HeldBuffer held(exporter);
    if (!held.acquired()) {
        return std::nullopt;
    }
    const std::optional<ScoreMemory> memory = buffer_memory(held.view());
    if (!memory) {
        return std::nullopt;
    }
    return count_successes(*memory);
}

// The count of an object whose numbers are read where they lie, or nothing for any other.
PyResult<std::optional<promotion::ArmCounts>> count_in_memory(PyObject* scores) {
    if (const std::optional<ScoreMemory> bytes = byte_string_memory(scores)) {
        // Nothing runs between reading the address and the last byte.
        return count_successes(*bytes);
    }
    if (is_exact_numpy_array(scores)) {
        return count_numpy_array(scores);
    }
    if (!HeldBuffer::available()) {
        return std::nullopt;
    }
    // memoryview has no subclasses.
    if (PyMemoryView_Check(scores)) {
        return count_buffer(scores);
    }
    PyResult<bool> array = is_exact_array_array(scores);
    if (!array) {
        return std::unexpected(std::move(array).error());
    }
    if (*array) {
        return count_buffer(scores);
    }
    return std::nullopt;
}

} // namespace

PyResult<promotion::ArmCounts> count_scores(PyObject* scores) {
    if (PyList_CheckExact(scores) || PyTuple_CheckExact(scores)) {
        return count_score_items(scores);
    }
    auto in_memory = count_in_memory(scores);
    if (!in_memory) {
        return std::unexpected(std::move(in_memory).error());
    }
    if (*in_memory) {
        return **in_memory;
    }
    return count_score_items(scores);
}

} // namespace velmora::py
