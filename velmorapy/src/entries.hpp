// The method records of the module functions, in registration order.
#pragma once

#include "python.hpp"

namespace velmora::py {

// METH_VARARGS | METH_KEYWORDS; the entries ignore `self`.
inline constexpr int ENTRY_FLAGS = METH_VARARGS | METH_KEYWORDS;

extern PyMethodDef aggregate_method;
extern PyMethodDef posterior_probability_method;
extern PyMethodDef promotion_decision_method;

} // namespace velmora::py
