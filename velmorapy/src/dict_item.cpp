#include "dict_item.hpp"

namespace velmora::py {

PyResult<PyObject*> dict_item(PyObject* dict, const char* key) {
    const PyRef name = PyRef::steal(PyUnicode_FromString(key));
    if (!name) {
        return std::unexpected(PyErr::fetch());
    }
    PyObject* value = PyDict_GetItemWithError(dict, name.get());
    if (value == nullptr && PyErr_Occurred() != nullptr) {
        return std::unexpected(PyErr::fetch());
    }
    return value;
}

} // namespace velmora::py
