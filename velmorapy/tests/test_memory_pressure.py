"""Allocation failures, one at a time, anywhere in the module: the interpreter's allocations in
the import, in good and bad calls of all three functions and in making the PanicException type,
and the module's own native allocations. Each one ends in a MemoryError (or the call's own
outcome, where the failed allocation did not matter); the process goes on and the module keeps
working."""

import pytest

from call_table import build_calls, is_panic

_testcapi = pytest.importorskip("_testcapi", reason="this CPython build has no _testcapi")
if not hasattr(_testcapi, "set_nomemory"):
    pytest.skip("this _testcapi cannot fail allocations", allow_module_level=True)

CALLS = build_calls()
# Every call of the table makes fewer interpreter allocations than this; the test of each call
# proves it by failing every allocation from this one on and seeing the call unaffected.
ALLOCATION_BOUND = 160
SANITIZED = "libasan" in open("/proc/self/maps").read()


def hooked(call, start: int, stop: int):
    """The call's outcome while allocations start+1 to stop fail (stop 0: all from start+1)."""
    function, args, kwargs = call.function, call.args, call.kwargs
    # The entry is called right here: a Python frame in between would add allocations of the
    # interpreter's own to the count, and their failures are not the module's to handle.
    _testcapi.set_nomemory(start, stop)
    try:
        result = function(*args, **kwargs)
    except BaseException as error:
        _testcapi.remove_mem_hooks()
        return ("raised", error)
    _testcapi.remove_mem_hooks()
    return ("result", result)


def plain(call):
    try:
        return ("result", call())
    except Exception as error:
        return ("raised", error)


def acceptable(outcome, normal) -> bool:
    kind, value = outcome
    if kind == "result":
        return normal[0] == "result" and repr(value) == repr(normal[1])
    if isinstance(value, MemoryError):
        return True
    # The interpreter's own loss: an allocation failing while it adds a traceback entry for a
    # Python function (the caller's __float__ here) can leave that function's frame without
    # its exception. Nothing of the module is involved.
    if isinstance(value, SystemError) and "returned NULL without setting" in str(value):
        return str(value).startswith("<function ")
    # A result object that cannot be made ends the call as an internal failure.
    if is_panic(value):
        return str(value) == "Python API call failed"
    # A bad call whose message lost a detail (a type name it could not read) is still the
    # call's own error.
    return normal[0] == "raised" and type(value) is type(normal[1])


# A failure the module swallowed and the interpreter reported as unraisable fails the test.
@pytest.mark.filterwarnings("error::pytest.PytestUnraisableExceptionWarning")
@pytest.mark.parametrize("call", CALLS, ids=lambda call: call.label)
def test_each_single_interpreter_allocation_failure_leaves_the_module_working(call):
    normal = plain(call)
    reference = CALLS[0]
    reference_outcome = repr(plain(reference))
    assert repr(hooked(call, ALLOCATION_BOUND, 0)) == repr(normal), "bound too small"

    wrong = []
    for start in range(ALLOCATION_BOUND):
        outcome = hooked(call, start, start + 1)
        if not acceptable(outcome, normal):
            wrong.append((start, outcome))
        # The module is unharmed: the same good call gives the same result right after.
        assert repr(plain(reference)) == reference_outcome, f"after allocation {start + 1}"
    assert wrong == [], f"normal outcome: {normal!r}"


@pytest.mark.parametrize("call", CALLS, ids=lambda call: call.label)
def test_each_single_native_allocation_failure_leaves_the_module_working(probe, call):
    # The probe runs its own copy of the entries with one C++ allocation failing at a time.
    name = call.function.__name__
    normal = plain(call)
    wrong = []
    for index in range(100_000):
        value, raised, failed = probe.entry_failing_allocation(index, name, call.args, call.kwargs)
        outcome = ("raised" if raised else "result", value)
        if not failed:  # every allocation of the call has been failed once
            assert repr(outcome) == repr(normal)
            break
        if not acceptable(outcome, normal):
            wrong.append((index, outcome))
    assert wrong == [], f"normal outcome: {normal!r}"


# Runs one call with allocation start+1 failing; a function, whose locals (unlike module
# globals) take no allocation of their own.
ATTEMPT = """
import _testcapi
def attempt(start, function, *args):
    _testcapi.set_nomemory(start, start + 1)
    try:
        function(*args)
    except BaseException as error:
        _testcapi.remove_mem_hooks()
        return type(error).__name__
    _testcapi.remove_mem_hooks()
    return "returned"
"""


def outcomes_in_fresh_processes(run_python, code: str, normal: str, **options) -> list:
    """The outcomes of `code` with allocation start+1 failing, for start = 0, 1, ... until ten in
    a row are the normal one. A fresh process each: the import and the panic type are made once
    per process, so a later try in the same process would not reach the same allocations."""
    outcomes = []
    for start in range(400):
        child = run_python(ATTEMPT + f"start = {start}\n" + code, **options)
        assert child.returncode == 0, f"allocation {start + 1}:\n{child.stderr}"
        outcomes.append(child.stdout.strip())
        if outcomes[-10:] == [normal] * 10:
            return outcomes
    pytest.fail(f"more allocations than expected: {outcomes[-10:]}")


# The init function is called by itself, through ctypes: the interpreter's import machinery
# around it has allocation failures of its own that it does not survive (3.13.0 crashes in its
# extension cache), and they are not the module's.
IMPORT_ONCE = """
import ctypes, importlib.util
init = ctypes.PyDLL(importlib.util.find_spec("velmorapy").origin).PyInit_velmorapy
init.restype = ctypes.py_object
outcome = attempt(start, init)
import velmorapy
assert velmorapy.__all__ == [
    "py_aggregate", "py_posterior_probability", "py_promotion_decision"], velmorapy.__all__
assert velmorapy.py_aggregate([("explicit", 1.0), ("implicit", 0.0)]) == 5 / 6
print(outcome)
"""

# The PanicException type is made at the first internal failure of a process.
PANIC_TYPE_ONCE = """
import _velmorapy_probe as probe
outcome = attempt(start, probe.force_core_check_failure, "first failure")
try:
    probe.force_core_check_failure("second failure")
except BaseException as error:
    assert type(error).__name__ == "PanicException" and error.args == ("second failure",)
print(outcome)
"""


def test_each_single_allocation_failure_in_the_import_is_retryable(python_process):
    outcomes = outcomes_in_fresh_processes(python_process, IMPORT_ONCE, "returned")
    # An interned name or the __all__ entry that cannot be made is an internal failure.
    assert set(outcomes) <= {"returned", "MemoryError", "PanicException"}
    assert "MemoryError" in outcomes


def test_each_single_allocation_failure_making_the_panic_type_is_survived(python_process):
    outcomes = outcomes_in_fresh_processes(
        python_process, PANIC_TYPE_ONCE, "PanicException", with_probe=True
    )
    assert set(outcomes) <= {"MemoryError", "PanicException"}
    assert "MemoryError" in outcomes


NO_NATIVE_COPY = """
import os, resource, velmorapy
scores = [0.75] * 40_000_000          # a list of references; a native copy would need 320 MB more
with open("/proc/self/statm") as statm:
    in_use = int(statm.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
resource.setrlimit(resource.RLIMIT_AS, (in_use + (128 << 20), resource.RLIM_INFINITY))
print(velmorapy.py_posterior_probability(scores, [], 1, 1))
print(velmorapy.py_posterior_probability([1.0] * 10, [0.0] * 10, 100, 7))
"""


@pytest.mark.skipif(SANITIZED, reason="the sanitizer reserves its shadow memory up front")
def test_a_long_list_is_counted_without_a_native_copy(python_process):
    # The scores are counted as they convert: no buffer of doubles that could fail to allocate.
    child = python_process(NO_NATIVE_COPY)
    assert child.returncode == 0, child.stderr
    assert child.stdout.split() == ["0.0", "0.0"]
