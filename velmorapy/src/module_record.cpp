#include "module_record.hpp"

#include <atomic>
#include <cstdint>

#include "api_failure.hpp"
#include "arguments.hpp"
#include "boundary_frame.hpp"
#include "entries.hpp"
#include "failure/internal_failure.hpp"
#include "runtime/failure_reporting.hpp"

namespace velmora::py {
namespace {

constexpr char MODULE_DOC[] = "Python module registered as `velmorapy`.";

constexpr char SUBINTERPRETER_REFUSAL[] = "velmorapy does not yet support subinterpreters, see "
                                          "https://velmora.invalid/velmorapy/subinterpreters";

// The module's one process-wide record. Single-phase initialisation: no slots, no per-module
// state, functions added one by one after creation.
struct ModuleRecord {
    PyModuleDef module_def;
    PyResult<void> (*populate)(PyObject*, std::span<PyMethodDef* const>);
    // The first interpreter that imported the module; -1 until then. Written once.
    std::atomic<std::int64_t> interpreter_id{-1};
    // Owned, set once, never released: the module lives until the process ends.
    PyObject* module = nullptr;
};

ModuleRecord record{
    .module_def =
        {
            PyModuleDef_HEAD_INIT,
            "velmorapy", // m_name
            MODULE_DOC,  // m_doc
            0,           // m_size
            nullptr,     // m_methods
            nullptr,     // m_slots
            nullptr,     // m_traverse
            nullptr,     // m_clear
            nullptr,     // m_free
        },
    .populate = populate_module,
};

PyMethodDef* const METHODS[] = {&aggregate_method, &posterior_probability_method,
                                &promotion_decision_method};

// Interned once, kept for the life of the process.
PyObject* interned(PyObject*& cell, const char* text) {
    if (cell == nullptr) {
        cell = made_or_api_failure(PyUnicode_InternFromString(text)).release();
    }
    return cell;
}

PyObject* all_name() {
    static PyObject* cell = nullptr;
    return interned(cell, "__all__");
}

PyObject* name_name() {
    static PyObject* cell = nullptr;
    return interned(cell, "__name__");
}

bool has_type_flag(PyObject* object, unsigned long flag) {
    return (PyType_GetFlags(Py_TYPE(object)) & flag) != 0;
}

// The module's __all__ list, made empty when the module has none yet.
PyResult<PyRef> all_list(PyObject* module) {
    PyRef all = PyRef::steal(PyObject_GetAttr(module, all_name()));
    if (!all) {
        PyErr error = PyErr::fetch();
        if (!PyErr_GivenExceptionMatches(error.type(), PyExc_AttributeError)) {
            return std::unexpected(std::move(error));
        }
        all = made_or_api_failure(PyList_New(0));
        if (PyObject_SetAttr(module, all_name(), all.get()) < 0) {
            return std::unexpected(PyErr::fetch());
        }
        return all;
    }
    if (!has_type_flag(all.get(), Py_TPFLAGS_LIST_SUBCLASS)) {
        return std::unexpected(type_mismatch_error(all.get(), "PyList"));
    }
    return all;
}

PyResult<PyRef> init_body() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) {
        return std::unexpected(PyErr::fetch());
    }
    // Stored before the module is built, so a failed build still claims this interpreter.
    std::int64_t claimed = -1;
    if (!record.interpreter_id.compare_exchange_strong(claimed, id) && claimed != id) {
        return std::unexpected(PyErr::import_error(SUBINTERPRETER_REFUSAL));
    }
    if (record.module != nullptr) {
        return PyRef::borrow(record.module);
    }
    PyRef module = PyRef::steal(PyModule_Create2(&record.module_def, 3));
    if (!module) {
        return std::unexpected(PyErr::fetch());
    }
    if (auto populated = record.populate(module.get(), module_methods()); !populated) {
        return std::unexpected(std::move(populated).error());
    }
    // A nested import may have stored a module meanwhile: the first one stays.
    if (record.module == nullptr) {
        record.module = module.release();
    }
    return PyRef::borrow(record.module);
}

} // namespace

std::span<PyMethodDef* const> module_methods() noexcept {
    return METHODS;
}

PyResult<void> populate_module(PyObject* module, std::span<PyMethodDef* const> methods) {
    for (PyMethodDef* method : methods) {
        if (auto registered = register_function(module, method); !registered) {
            return registered;
        }
    }
    return {};
}

PyResult<void> register_function(PyObject* module, PyMethodDef* method) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) {
        return std::unexpected(PyErr::fetch());
    }
    PyRef function = PyRef::steal(PyCMethod_New(method, module, module_name.get(), nullptr));
    module_name.reset();
    if (!function) {
        return std::unexpected(PyErr::fetch());
    }
    PyRef name = PyRef::steal(PyObject_GetAttr(function.get(), name_name()));
    if (!name) {
        return std::unexpected(PyErr::fetch());
    }
    if (!has_type_flag(name.get(), Py_TPFLAGS_UNICODE_SUBCLASS)) {
        return std::unexpected(type_mismatch_error(name.get(), "PyString"));
    }
    PyResult<PyRef> all = all_list(module);
    if (!all) {
        return std::unexpected(std::move(all).error());
    }
    if (PyList_Append(all->get(), name.get()) < 0) {
        failure::raise_internal_failure("could not append __name__ to __all__: " +
                                        PyErr::fetch().debug_text());
    }
    if (PyObject_SetAttr(module, name.get(), function.get()) < 0) {
        return std::unexpected(PyErr::fetch());
    }
    return {};
}

PyObject* init_velmorapy_module() noexcept {
    runtime::install_failure_reporting();
    return boundary_frame(init_body);
}

} // namespace velmora::py
