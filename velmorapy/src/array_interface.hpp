// Exact numpy arrays counted where their items lie, read through numpy's array-interface
// protocol with limited-API calls only, so it works on every CPython the module supports and
// without importing numpy.
#pragma once

#include <optional>

#include "promotion/arm_counts.hpp"
#include "py_err.hpp"

namespace velmora::py {

// Whether `object`'s type is numpy's own ndarray type (no subclass: a masked array or a matrix
// iterates differently). Runs no Python code of anyone's.
bool is_exact_numpy_array(PyObject* object);

// The success count of a one-dimensional exact numpy array of bool, integer or half, single or
// double float items, in either byte order and at any stride; nothing for any other array,
// which takes the item path. Only a MemoryError can make it fail.
PyResult<std::optional<promotion::ArmCounts>> count_numpy_array(PyObject* array);

} // namespace velmora::py
