// Conversions between Python objects and the plain values the core works on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "py_err.hpp"

namespace velmora::py {

using TextValuePair = std::pair<std::string, double>;

// Arguments: each takes a borrowed object.
PyResult<double> to_double(PyObject* object);
PyResult<std::uint64_t> to_u64(PyObject* object);
PyResult<std::uint32_t> to_u32(PyObject* object);
PyResult<std::string> to_text(PyObject* object);
PyResult<TextValuePair> to_signal_pair(PyObject* object);
// A sequence other than a str, item by item as iteration yields it.
PyResult<std::vector<double>> to_double_list(PyObject* object);
PyResult<std::vector<TextValuePair>> to_pair_list(PyObject* object);

// Results: new references. An object that cannot be made is the internal failure "Python API
// call failed".
PyRef from_double(double value);
PyRef from_decision(std::string_view outcome, double posterior, std::uint64_t sessions_each);

} // namespace velmora::py
