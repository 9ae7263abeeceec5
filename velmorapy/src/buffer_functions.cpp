#include "buffer_functions.hpp"

#include <dlfcn.h>

#include "runtime/libdl_symbols.hpp"

#include <cstdio>

namespace velmora::py {
namespace {

using GetBuffer = int (*)(PyObject*, BufferView*, int);
using ReleaseBuffer = void (*)(BufferView*);

struct BufferFunctions {
    GetBuffer get = nullptr;
    ReleaseBuffer release = nullptr;
};

bool interpreter_has_buffer_abi() {
    int major = 0;
    int minor = 0;
    // "3.12.1 (main, ...)": the version of the interpreter running, not the one built against.
    if (std::sscanf(Py_GetVersion(), "%d.%d", &major, &minor) != 2) {
        return false;
    }
    return major > 3 || (major == 3 && minor >= 11);
}

BufferFunctions look_up() {
    if (!interpreter_has_buffer_abi()) {
        return {};
    }
    // The interpreter's own symbols: this module resolves every other C-API call from the
    // same global scope.
    BufferFunctions found{
        reinterpret_cast<GetBuffer>(dlsym(RTLD_DEFAULT, "PyObject_GetBuffer")),
        reinterpret_cast<ReleaseBuffer>(dlsym(RTLD_DEFAULT, "PyBuffer_Release")),
    };
    if (found.get == nullptr || found.release == nullptr) {
        return {};
    }
    return found;
}

const BufferFunctions& functions() {
    static const BufferFunctions found = look_up();
    return found;
}

} // namespace

bool HeldBuffer::available() {
    return functions().get != nullptr;
}

HeldBuffer::HeldBuffer(PyObject* exporter) {
    acquired_ = functions().get(exporter, &view_, BUFFER_RECORDS_READ_ONLY) == 0;
    if (!acquired_) {
        PyErr_Clear();
    }
}

HeldBuffer::~HeldBuffer() {
    if (acquired_) {
        functions().release(&view_);
    }
}

} // namespace velmora::py
