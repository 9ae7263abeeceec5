// The PanicException type: made lazily, once per process, never exposed as a module attribute.
#pragma once

#include "py_ref.hpp"

namespace velmora::py {

// The type, made on first need. Returns nullptr, with a MemoryError pending, when the
// interpreter has no memory to make it; any other failure to make it is an internal failure.
// Borrowed: the cell keeps the type alive for the rest of the process.
PyObject* panic_exception_type();

// The type if it has been made, else nullptr. No PanicException can exist before its type.
PyObject* panic_exception_type_if_made() noexcept;

// Python code raised a PanicException that it caught earlier: print it and carry the failure
// on as an internal failure of this call. Takes the fetched triple; `value` and `traceback` may
// be empty.
[[noreturn]] void resume_panic(PyRef type, PyRef value, PyRef traceback);

namespace testing {
// Makes the next `count` makings of the type fail inside CPython. Only the test probe calls it.
void fail_next_panic_type_makings(int count) noexcept;
} // namespace testing

} // namespace velmora::py
