// The fixed internal failure for a C-API call that had to make an object and could not.
#pragma once

#include <source_location>

#include "py_ref.hpp"

namespace velmora::py {

// Prints the pending Python error (PyErr_Print), then raises "Python API call failed".
[[noreturn]] void raise_api_failure(std::source_location where = std::source_location::current());

// Owns `made`, the result of an object-making call; null is an API failure.
PyRef made_or_api_failure(PyObject* made,
                          std::source_location where = std::source_location::current());

} // namespace velmora::py
