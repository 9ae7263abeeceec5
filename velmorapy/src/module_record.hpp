// The velmorapy module: its definition, its one process-wide record and its filling.
#pragma once

#include <span>

#include "py_err.hpp"

namespace velmora::py {

// The module's functions, in registration order (also the order of __all__).
std::span<PyMethodDef* const> module_methods() noexcept;

// Adds each record's function to `module` and its name to __all__; stops at the first failure.
PyResult<void> populate_module(PyObject* module, std::span<PyMethodDef* const> methods);

// One function: a built-in bound to `module`, listed in __all__, set as a module attribute.
PyResult<void> register_function(PyObject* module, PyMethodDef* method);

// The body of PyInit_velmorapy, run inside the boundary frame.
PyObject* init_velmorapy_module() noexcept;

} // namespace velmora::py
