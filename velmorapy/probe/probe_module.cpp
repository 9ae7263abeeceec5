// _velmorapy_probe: drives the bridge's unreachable paths with the real binding code.
//
//   force_core_check_failure(message)       a core check fails inside a boundary frame
//   restore_taken_error()                   restore() of a record that is being normalized
//   normalize_while_normalizing()           an accessor used while the record normalizes
//   make_panic_type()                       the PanicException type, made in a body
//   fail_panic_type_makings(count)          CPython refuses the next `count` makings of the type
//   fetch_without_error() / take_without_error()
//   raise_object(object)                    a record wrapping any object, raised
//   concurrent_failure_reports(threads, each)
//   aggregate_failing_allocation(index, signals)  py_aggregate with one allocation failing
//   entry_failing_allocation(index, name, args, kwargs)
//                                           any entry with one allocation failing, returning
//                                           (result or exception, raised, allocation failed)
//   failed_allocation()                     whether the chosen allocation was reached
//   checked_beta_sampler(shape1, shape2)    the promotion core's Beta sampler check, which the
//                                           module's own calls can never fail
//   py_aggregate(signals)                   this copy's own entry, registered like velmorapy's,
//                                           so a PanicException of this copy can come back
//   count_wins(champion, challenger, samples, seed, variant)
//                                           the Monte Carlo loop on Beta(shape1, shape2) arms
//                                           given as (shape1, shape2) tuples: variant
//                                           "reference" runs the reference loop, a CPU level
//                                           name ("scalar" ... "neon") the batched loop with
//                                           that level's kernels; returns (wins, the
//                                           generator's next word), or None for a level this
//                                           processor cannot run
//   cpu_levels()                            (every level name, the active level's name)
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

#include "boundary_frame.hpp"
#include "entries.hpp"
#include "failing_allocator.hpp"
#include "failure/internal_failure.hpp"
#include "isa/cpu_level.hpp"
#include "isa/kernel_table.hpp"
#include "module_record.hpp"
#include "panic_exception.hpp"
#include "promotion/count_wins.hpp"
#include "promotion/count_wins_batched.hpp"
#include "promotion/posterior_probability.hpp"
#include "py_err.hpp"
#include "runtime/failure_report.hpp"
#include "runtime/failure_reporting.hpp"

namespace velmora::probe {
namespace {

using py::boundary_frame;
using py::PyErr;
using py::PyRef;
using py::PyResult;

PyRef none() {
    return PyRef::borrow(Py_None);
}

PyObject* force_core_check_failure(PyObject*, PyObject* args) {
    const char* message = nullptr;
    if (!PyArg_ParseTuple(args, "s", &message)) {
        return nullptr;
    }
    return boundary_frame([&]() -> PyResult<PyRef> {
        failure::check(false, message);
        return none();
    });
}

// A lazy record whose closure reaches back into the record while it is being normalized.
template <class Reentry>
PyObject* reenter_during_normalization(Reentry reentry) {
    return boundary_frame([&]() -> PyResult<PyRef> {
        PyErr* self = nullptr;
        PyErr error = PyErr::new_lazy([&]() -> std::optional<py::LazyParts> {
            reentry(*self);
            return py::LazyParts{PyRef::borrow(PyExc_ValueError), none()};
        });
        self = &error;
        (void)error.value();
        return none();
    });
}

PyObject* restore_taken_error(PyObject*, PyObject*) {
    return reenter_during_normalization([](PyErr& self) { std::move(self).restore(); });
}

PyObject* normalize_while_normalizing(PyObject*, PyObject*) {
    return reenter_during_normalization([](PyErr& self) { (void)self.type(); });
}

PyObject* make_panic_type(PyObject*, PyObject*) {
    return boundary_frame([]() -> PyResult<PyRef> {
        PyObject* type = py::panic_exception_type();
        if (type == nullptr) {
            return std::unexpected(PyErr::fetch());
        }
        return PyRef::borrow(type);
    });
}

PyObject* fail_panic_type_makings(PyObject*, PyObject* args) {
    int count = 0;
    if (!PyArg_ParseTuple(args, "i", &count)) {
        return nullptr;
    }
    py::testing::fail_next_panic_type_makings(count);
    Py_RETURN_NONE;
}

PyObject* fetch_without_error(PyObject*, PyObject*) {
    return boundary_frame([]() -> PyResult<PyRef> { return std::unexpected(PyErr::fetch()); });
}

PyObject* take_without_error(PyObject*, PyObject*) {
    return boundary_frame(
        []() -> PyResult<PyRef> { return PyRef::borrow(PyErr::take() ? Py_True : Py_False); });
}

PyObject* raise_object(PyObject*, PyObject* object) {
    return boundary_frame(
        [&]() -> PyResult<PyRef> { return std::unexpected(PyErr::from_object(object)); });
}

PyObject* concurrent_failure_reports(PyObject*, PyObject* args) {
    int thread_count = 0;
    int reports_each = 0;
    if (!PyArg_ParseTuple(args, "ii", &thread_count, &reports_each)) {
        return nullptr;
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([t, reports_each] {
            // A long message makes an interleaving of two reports likely if the lock is missing.
            const std::string message = "report from thread " + std::to_string(t) + " " +
                                        std::string(4000, static_cast<char>('a' + t % 26));
            for (int i = 0; i < reports_each; ++i) {
                runtime::write_failure_report(
                    STDERR_FILENO, {.message = message, .where = std::source_location::current()});
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    Py_RETURN_NONE;
}

PyObject* aggregate_failing_allocation(PyObject* module, PyObject* args) {
    long index = 0;
    PyObject* signals = nullptr;
    if (!PyArg_ParseTuple(args, "lO", &index, &signals)) {
        return nullptr;
    }
    PyRef call_args = PyRef::steal(PyTuple_Pack(1, signals));
    if (!call_args) {
        return nullptr;
    }
    auto entry = reinterpret_cast<PyCFunctionWithKeywords>(
        reinterpret_cast<void (*)()>(py::aggregate_method.ml_meth));
    fail_allocation_at(index);
    PyObject* result = entry(module, call_args.get(), nullptr);
    disarm_allocation_failure();
    return result;
}

PyObject* failed_allocation(PyObject*, PyObject*) {
    return PyBool_FromLong(allocation_failed());
}

PyObject* checked_beta_sampler(PyObject*, PyObject* args) {
    double shape1 = 0;
    double shape2 = 0;
    if (!PyArg_ParseTuple(args, "dd", &shape1, &shape2)) {
        return nullptr;
    }
    return boundary_frame([&]() -> PyResult<PyRef> {
        static_cast<void>(promotion::checked_beta_sampler(shape1, shape2));
        return none();
    });
}

std::optional<CpuLevel> cpu_level_named(std::string_view name) {
    for (const CpuLevel level : ALL_CPU_LEVELS) {
        if (to_string(level) == name) {
            return level;
        }
    }
    return std::nullopt;
}

PyObject* count_wins(PyObject*, PyObject* args) {
    double champion[2] = {0, 0};
    double challenger[2] = {0, 0};
    unsigned int samples = 0;
    unsigned long long seed = 0;
    const char* variant = nullptr;
    if (!PyArg_ParseTuple(args, "(dd)(dd)IKs", &champion[0], &champion[1], &challenger[0],
                          &challenger[1], &samples, &seed, &variant)) {
        return nullptr;
    }
    const std::string_view name(variant);
    const std::optional<CpuLevel> level = cpu_level_named(name);
    if (name != "reference" && !level) {
        PyErr_SetString(PyExc_ValueError, "unknown variant");
        return nullptr;
    }
    if (level && !cpu_supports(*level)) {
        Py_RETURN_NONE;
    }
    const BetaSampler champion_sampler = promotion::checked_beta_sampler(champion[0], champion[1]);
    const BetaSampler challenger_sampler =
        promotion::checked_beta_sampler(challenger[0], challenger[1]);
    auto generator = ChaChaRng::from_seed(seed);
    const std::uint32_t wins =
        level ? promotion::count_wins_batched(champion_sampler, challenger_sampler, samples,
                                              generator, vector_kernels_for(*level))
              : promotion::count_wins(champion_sampler, challenger_sampler, samples, generator);
    return Py_BuildValue("(IK)", wins, static_cast<unsigned long long>(generator.next_u64()));
}

PyObject* cpu_levels(PyObject*, PyObject*) {
    PyObject* names = PyList_New(0);
    if (names == nullptr) {
        return nullptr;
    }
    for (const CpuLevel level : ALL_CPU_LEVELS) {
        const std::string_view name = to_string(level);
        PyObject* text = PyUnicode_FromStringAndSize(name.data(), std::ssize(name));
        if (text == nullptr || PyList_Append(names, text) != 0) {
            Py_XDECREF(text);
            Py_DECREF(names);
            return nullptr;
        }
        Py_DECREF(text);
    }
    const std::string_view active = to_string(active_cpu_level());
    return Py_BuildValue("(Ns#)", names, active.data(), std::ssize(active));
}

PyMethodDef* entry_named(std::string_view name) {
    for (PyMethodDef* method : std::array{&py::aggregate_method, &py::posterior_probability_method,
                                          &py::promotion_decision_method}) {
        if (name == method->ml_name) {
            return method;
        }
    }
    return nullptr;
}

// The raised exception as a value, so a failed call still reports whether the armed
// allocation was reached.
PyObject* take_raised_exception() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return value;
}

PyObject* entry_failing_allocation(PyObject* module, PyObject* args) {
    long index = 0;
    const char* name = nullptr;
    PyObject* call_args = nullptr;
    PyObject* kwargs = nullptr;
    if (!PyArg_ParseTuple(args, "lsO!O", &index, &name, &PyTuple_Type, &call_args, &kwargs)) {
        return nullptr;
    }
    PyMethodDef* method = entry_named(name);
    if (method == nullptr) {
        PyErr_SetString(PyExc_ValueError, "no such entry");
        return nullptr;
    }
    auto entry =
        reinterpret_cast<PyCFunctionWithKeywords>(reinterpret_cast<void (*)()>(method->ml_meth));
    fail_allocation_at(index);
    PyObject* result = entry(module, call_args, kwargs == Py_None ? nullptr : kwargs);
    disarm_allocation_failure();
    const bool failed = allocation_failed();
    const bool raised = result == nullptr;
    PyRef outcome = PyRef::steal(raised ? take_raised_exception() : result);
    if (!outcome) {
        return nullptr;
    }
    return Py_BuildValue("(OOO)", outcome.get(), raised ? Py_True : Py_False,
                         failed ? Py_True : Py_False);
}

PyMethodDef probe_methods[] = {
    {"force_core_check_failure", force_core_check_failure, METH_VARARGS, nullptr},
    {"restore_taken_error", restore_taken_error, METH_NOARGS, nullptr},
    {"normalize_while_normalizing", normalize_while_normalizing, METH_NOARGS, nullptr},
    {"make_panic_type", make_panic_type, METH_NOARGS, nullptr},
    {"fail_panic_type_makings", fail_panic_type_makings, METH_VARARGS, nullptr},
    {"fetch_without_error", fetch_without_error, METH_NOARGS, nullptr},
    {"take_without_error", take_without_error, METH_NOARGS, nullptr},
    {"raise_object", raise_object, METH_O, nullptr},
    {"concurrent_failure_reports", concurrent_failure_reports, METH_VARARGS, nullptr},
    {"aggregate_failing_allocation", aggregate_failing_allocation, METH_VARARGS, nullptr},
    {"entry_failing_allocation", entry_failing_allocation, METH_VARARGS, nullptr},
    {"failed_allocation", failed_allocation, METH_NOARGS, nullptr},
    {"checked_beta_sampler", checked_beta_sampler, METH_VARARGS, nullptr},
    {"count_wins", count_wins, METH_VARARGS, nullptr},
    {"cpu_levels", cpu_levels, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef probe_module{
    PyModuleDef_HEAD_INIT,
    "_velmorapy_probe",
    "Test-only driver of the velmorapy bridge.",
    -1,
    probe_methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

} // namespace
} // namespace velmora::probe

PyMODINIT_FUNC PyInit__velmorapy_probe(void) {
    using namespace velmora;
    runtime::install_failure_reporting();
    return py::boundary_frame([]() -> py::PyResult<py::PyRef> {
        py::PyRef module = py::PyRef::steal(PyModule_Create(&probe::probe_module));
        if (!module) {
            return std::unexpected(py::PyErr::fetch());
        }
        if (auto registered = py::register_function(module.get(), &py::aggregate_method);
            !registered) {
            return std::unexpected(std::move(registered).error());
        }
        return module;
    });
}
