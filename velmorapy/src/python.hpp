// The only way binding code includes Python.h.
#pragma once

// One abi3 build for CPython 3.10 and every later 3.x: only the 3.10 limited API is visible.
#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030A0000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>
