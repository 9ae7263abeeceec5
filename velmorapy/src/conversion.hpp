// Conversions between Python objects and the plain values the core works on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "promotion/arm_counts.hpp"
#include "py_err.hpp"

namespace velmora::py {

using TextValuePair = std::pair<std::string, double>;

// Arguments: each takes a borrowed object.
PyResult<double> to_double(PyObject* object);
PyResult<std::uint64_t> to_u64(PyObject* object);
PyResult<std::uint32_t> to_u32(PyObject* object);
PyResult<std::string> to_text(PyObject* object);
PyResult<TextValuePair> to_signal_pair(PyObject* object);
// A sequence other than a str, item by item as iteration yields it, each item converted by
// to_double and counted at once: the scores themselves are not kept.
PyResult<promotion::ArmCounts> count_score_items(PyObject* object);
// A sequence other than a str, item by item as iteration yields it.
PyResult<std::vector<TextValuePair>> to_pair_list(PyObject* object);

// Results: new references. An object that cannot be made is the internal failure "Python API
// call failed".
PyRef from_double(double value);
PyRef from_decision(std::string_view outcome, double posterior, std::uint64_t sessions_each);

} // namespace velmora::py
