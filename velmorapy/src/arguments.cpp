#include "arguments.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "api_failure.hpp"
#include "object_text.hpp"

namespace velmora::py {
namespace {

constexpr std::size_t NOT_A_PARAMETER = static_cast<std::size_t>(-1);

std::string called_name(const ArgumentSpec& spec) {
    return std::string(spec.function_name) + "()";
}

std::size_t parameter_index(const ArgumentSpec& spec, std::string_view keyword) {
    const auto& names = spec.parameter_names;
    const auto found = std::find(names.begin(), names.end(), keyword);
    return found == names.end() ? NOT_A_PARAMETER : static_cast<std::size_t>(found - names.begin());
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string quoted_list(const std::vector<std::string_view>& names) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            list += names.size() == 2 ? " " : ", ";
            if (i + 1 == names.size()) {
                list += "and ";
            }
        }
        list += '\'';
        list += names[i];
        list += '\'';
    }
    return list;
}

PyResult<void> bind_keyword(const ArgumentSpec& spec, PyObject* key, PyObject* value,
                            std::span<PyObject*> slots) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(key, &size);
    std::size_t index = NOT_A_PARAMETER;
    if (utf8 == nullptr) {
        PyErr_Clear(); // a key without UTF-8 form names no parameter
    } else {
        index = parameter_index(spec, std::string_view(utf8, static_cast<std::size_t>(size)));
    }
    if (index == NOT_A_PARAMETER) {
        return std::unexpected(PyErr::type_error(
            called_name(spec) + " got an unexpected keyword argument '" + str_text(key) + "'"));
    }
    if (slots[index] != nullptr) {
        return std::unexpected(PyErr::type_error(called_name(spec) +
                                                 " got multiple values for argument '" +
                                                 std::string(spec.parameter_names[index]) + "'"));
    }
    slots[index] = value;
    return {};
}

PyResult<void> check_required(const ArgumentSpec& spec, std::span<PyObject*> slots) {
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < spec.required_count; ++i) {
        if (slots[i] == nullptr) {
            missing.push_back(spec.parameter_names[i]);
        }
    }
    if (missing.empty()) {
        return {};
    }
    return std::unexpected(PyErr::type_error(
        called_name(spec) + " missing " + std::to_string(missing.size()) + " required positional " +
        (missing.size() == 1 ? "argument: " : "arguments: ") + quoted_list(missing)));
}

} // namespace

PyResult<void> bind_arguments(const ArgumentSpec& spec, PyObject* args, PyObject* kwargs,
                              std::span<PyObject*> slots) {
    std::fill(slots.begin(), slots.end(), nullptr);
    const std::size_t parameter_count = spec.parameter_names.size();
    const auto given = static_cast<std::size_t>(PyTuple_Size(args));
    for (std::size_t i = 0; i < std::min(given, parameter_count); ++i) {
        slots[i] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(i));
        if (slots[i] == nullptr) {
            raise_api_failure();
        }
    }
    // Checked before any keyword, so a bad keyword never hides a surplus positional argument.
    if (given > parameter_count) {
        // "arguments" stays plural even for one parameter.
        return std::unexpected(PyErr::type_error(
            called_name(spec) + " takes " + std::to_string(parameter_count) +
            " positional arguments but " + std::to_string(given) + " were given"));
    }
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &position, &key, &value)) {
            if (auto bound = bind_keyword(spec, key, value, slots); !bound) {
                return bound;
            }
        }
    }
    if (given < spec.required_count) {
        return check_required(spec, slots);
    }
    return {};
}

PyErr prefix_argument_error(std::string_view parameter, PyErr error) {
    // Only the exact class: a TypeError subclass of the caller's own passes untouched.
    if (error.type() != PyExc_TypeError) {
        return error;
    }
    PyErr prefixed =
        PyErr::type_error("argument '" + std::string(parameter) + "': " + str_text(error.value()));
    // The chain keeps the original's cause; the original itself is dropped.
    prefixed.set_cause(error.cause());
    return prefixed;
}

PyErr type_mismatch_error(PyObject* object, std::string_view expected) {
    return PyErr::new_lazy([type = PyRef::borrow(reinterpret_cast<PyObject*>(Py_TYPE(object))),
                            expected = std::string(expected)]() -> std::optional<LazyParts> {
        std::string type_name = "<failed to extract type name>";
        PyRef qualname = PyRef::steal(PyObject_GetAttrString(type.get(), "__qualname__"));
        if (!qualname && PyErr_ExceptionMatches(PyExc_MemoryError)) {
            return std::nullopt; // no memory for the message: the caller gets the MemoryError
        }
        if (qualname && PyUnicode_Check(qualname.get())) {
            type_name = unicode_text(qualname.get());
        } else {
            PyErr_Clear();
        }
        const std::string message =
            "'" + type_name + "' object cannot be converted to '" + expected + "'";
        PyRef value = PyRef::steal(
            PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
        if (!value) {
            return out_of_memory_or_api_failure();
        }
        return LazyParts{PyRef::borrow(PyExc_TypeError), std::move(value)};
    });
}

} // namespace velmora::py
