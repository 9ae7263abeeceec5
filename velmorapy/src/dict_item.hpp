// Looking up a str key in a dict without losing an error.
#pragma once

#include "py_err.hpp"
#include "python.hpp"

namespace velmora::py {

// The value of `key` in `dict` (borrowed, valid while the dict holds it), or nullptr when it
// has none. Not PyDict_GetItemString: it makes the key object itself, and when that fails it
// answers "no such key", leaving the MemoryError behind (CPython 3.13 reports it as unraisable).
PyResult<PyObject*> dict_item(PyObject* dict, const char* key);

} // namespace velmora::py
