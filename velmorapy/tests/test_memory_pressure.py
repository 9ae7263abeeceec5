"""Allocation failures, one at a time, anywhere in the module: in the import, in good and bad
calls of all three functions, and in the module's own native buffers. Each one ends in a
MemoryError (or the call's own outcome, where the failed allocation did not matter); the
process goes on and the module keeps working."""

import os
import subprocess
import sys
import textwrap

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
    _testcapi.set_nomemory(start, stop)
    try:
        result = call()
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
    # A result object that cannot be made ends the call as an internal failure.
    if is_panic(value):
        return str(value) == "Python API call failed"
    # A bad call whose message lost a detail (a type name it could not read) is still the
    # call's own error.
    return normal[0] == "raised" and type(value) is type(normal[1])


@pytest.mark.parametrize("call", CALLS, ids=lambda call: call.label)
def test_each_single_allocation_failure_leaves_the_module_working(call):
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


IMPORT_ONCE = """
import _imp, importlib.util, sys, _testcapi
spec = importlib.util.find_spec("velmorapy")
start = int(sys.argv[1])
_testcapi.set_nomemory(start, start + 1)
try:
    _imp.create_dynamic(spec)
    outcome = "imported"
except MemoryError:
    outcome = "MemoryError"
finally:
    _testcapi.remove_mem_hooks()
import velmorapy
assert velmorapy.__all__ == [
    "py_aggregate", "py_posterior_probability", "py_promotion_decision"], velmorapy.__all__
assert velmorapy.py_aggregate([("explicit", 1.0), ("implicit", 0.0)]) == 5 / 6
print(outcome)
"""


def test_each_single_allocation_failure_in_the_import_is_retryable():
    # Each failure point gets a fresh process: once an import has succeeded, later ones
    # return the module already built and would not reach the same allocations.
    outcomes = []
    for start in range(400):
        child = subprocess.run(
            [sys.executable, "-c", IMPORT_ONCE, str(start)], capture_output=True, text=True
        )
        assert child.returncode == 0, f"allocation {start + 1}:\n{child.stderr}"
        outcomes.append(child.stdout.strip())
        if outcomes[-10:] == ["imported"] * 10:
            break
    else:
        pytest.fail("the import kept failing: it makes more allocations than expected")
    assert "MemoryError" in outcomes


NATIVE_BUFFER = """
import os, resource, velmorapy
scores = [0.75] * 40_000_000          # a list of references; its native copy needs 320 MB more
with open("/proc/self/statm") as statm:
    in_use = int(statm.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
resource.setrlimit(resource.RLIMIT_AS, (in_use + (128 << 20), resource.RLIM_INFINITY))
try:
    velmorapy.py_posterior_probability(scores, [], 1, 1)
    print("computed")
except MemoryError:
    print("MemoryError")
print(velmorapy.py_posterior_probability([1.0] * 10, [0.0] * 10, 100, 7))
"""


@pytest.mark.skipif(SANITIZED, reason="the sanitizer reserves its shadow memory up front")
def test_native_buffer_that_cannot_be_allocated_raises_memory_error():
    child = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(NATIVE_BUFFER)],
        capture_output=True,
        text=True,
        env={**os.environ, "VELMORAPY_BACKTRACE": "0"},
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.split() == ["MemoryError", "0.0"]
