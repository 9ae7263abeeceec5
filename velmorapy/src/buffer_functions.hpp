// The buffer protocol, for the interpreters whose stable ABI has it.
//
// The module is built against the 3.10 limited API, which lacks the buffer functions; they
// joined the stable ABI in 3.11. On 3.11 and later they are looked up in the running
// interpreter once, by name, and the buffer record is the one the stable ABI fixes from 3.11
// on. On 3.10 nothing is looked up, and no buffer is ever taken.
#pragma once

#include "python.hpp"

namespace velmora::py {

// The buffer record as the stable ABI of CPython 3.11 and later lays it out.
struct BufferView {
    void* buf;
    PyObject* obj;
    Py_ssize_t len;
    Py_ssize_t itemsize;
    int readonly;
    int ndim;
    char* format;
    Py_ssize_t* shape;
    Py_ssize_t* strides;
    Py_ssize_t* suboffsets;
    void* internal;
};

// The request for a read-only view with its shape, strides and item format.
inline constexpr int BUFFER_RECORDS_READ_ONLY = 0x0004 | 0x0008 | 0x0010;

// The view of one object, held from construction until destruction. It stays where it was
// made: an exporter may keep the record's address.
class HeldBuffer {
public:
    // Whether the running interpreter offers the buffer functions (3.11 or later).
    static bool available();

    // Asks `exporter` for its view; must be available(). A refusal is cleared, and the item
    // path then reports the object's own error.
    explicit HeldBuffer(PyObject* exporter);
    HeldBuffer(const HeldBuffer&) = delete;
    HeldBuffer& operator=(const HeldBuffer&) = delete;
    ~HeldBuffer();

    bool acquired() const noexcept { return acquired_; }
    const BufferView& view() const noexcept { return view_; }

private:
    BufferView view_{};
    bool acquired_ = false;
};

} // namespace velmora::py
