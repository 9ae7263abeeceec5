// One arm's success count from whatever the caller passed as its scores.
//
// Objects that hold their numbers in memory are counted where the numbers lie: bytes and
// bytearray, exact one-dimensional numpy arrays of a numeric dtype, and (on CPython 3.11 and
// later) exact array.array and memoryview objects of a numeric format. Everything else goes
// item by item through iteration. Both ways count each item as the double that PyFloat_AsDouble
// makes of what iteration yields, so the counts, and everything computed from them, are the
// same; an object the memory way does not take reaches the item path untouched, with its errors.
#pragma once

#include "promotion/arm_counts.hpp"
#include "py_err.hpp"

namespace velmora::py {

PyResult<promotion::ArmCounts> count_scores(PyObject* scores);

} // namespace velmora::py
