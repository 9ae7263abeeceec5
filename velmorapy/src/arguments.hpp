// Binding a call's positional tuple and keyword dict to a function's declared parameters.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "py_err.hpp"

namespace velmora::py {

// The static parameter description of one module function. Every parameter may be passed by
// position or by keyword; the first `required_count` must be supplied.
struct ArgumentSpec {
    std::string_view function_name;
    std::span<const std::string_view> parameter_names;
    std::size_t required_count;
};

// Fills one slot per parameter with a borrowed reference. `args` is never null; `kwargs` may be.
// Every failure is a TypeError naming the function as "{name}()".
PyResult<void> bind_arguments(const ArgumentSpec& spec, PyObject* args, PyObject* kwargs,
                              std::span<PyObject*> slots);

// An exact TypeError becomes a new TypeError "argument '{parameter}': {text}" whose cause is the
// old one's cause; any other error passes unchanged.
PyErr prefix_argument_error(std::string_view parameter, PyErr error);

// TypeError "'{type qualname}' object cannot be converted to '{expected}'", formatted only when
// raised.
PyErr type_mismatch_error(PyObject* object, std::string_view expected);

// Runs `converter` on one bound argument and prefixes its failure with the parameter's name.
template <class Converter>
auto convert_argument(std::string_view parameter, PyObject* object, Converter&& converter)
    -> decltype(converter(object)) {
    auto converted = converter(object);
    if (!converted) {
        return std::unexpected(prefix_argument_error(parameter, std::move(converted).error()));
    }
    return converted;
}

} // namespace velmora::py
