"""Internal failures reaching Python as PanicException, and panics that come back from Python.

The internal failures Python cannot provoke through velmorapy are driven through the test-only
probe, which links the same bridge code.
"""

import pytest

PANIC_DOC = (
    "\nThe exception raised when native code called from Python panics.\n\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n"
)


def caught_panic(call):
    try:
        call()
    except Exception as error:  # noqa: BLE001 - must not catch a PanicException
        pytest.fail(f"an except Exception clause caught {error!r}")
    except BaseException as panic:
        return panic
    pytest.fail("no exception")


@pytest.mark.parametrize(
    "drive, message",
    [
        (lambda p: p.force_core_check_failure("forced core check"), "forced core check"),
        (lambda p: p.restore_taken_error(), "PyErr state should never be invalid outside of normalization"),
        (lambda p: p.normalize_while_normalizing(), "Cannot normalize a PyErr while already normalizing it."),
    ],
)
def test_internal_failures_arrive_as_panic_exception(probe, drive, message):
    panic = caught_panic(lambda: drive(probe))
    assert type(panic).__name__ == "PanicException"
    assert panic.args == (message,)
    assert str(panic) == message
    # The module stays usable.
    assert probe.py_aggregate([("explicit", 1.0)]) == 1.0


def test_the_panic_exception_class(probe):
    first = caught_panic(lambda: probe.force_core_check_failure("one"))
    second = caught_panic(lambda: probe.force_core_check_failure("two"))
    cls = type(first)
    assert type(second) is cls
    assert probe.make_panic_type() is cls
    assert cls.__name__ == cls.__qualname__ == "PanicException"
    assert cls.__module__ == "velmorapy_runtime"
    assert cls.__bases__ == (BaseException,)
    assert cls.__doc__ == PANIC_DOC and len(cls.__doc__.encode()) == 237
    assert not hasattr(probe, "PanicException")


@pytest.mark.parametrize(
    "error_factory, expected",
    [
        (lambda p: p.fetch_without_error, (SystemError, "attempted to fetch exception but none was set")),
        (lambda p: lambda: p.raise_object(3), (TypeError, "exceptions must derive from BaseException")),
        # A wrapped exception class is raised like `raise KeyError`.
        (lambda p: lambda: p.raise_object(KeyError), (KeyError, "")),
    ],
)
def test_errors_raised_by_the_bridge(probe, error_factory, expected):
    with pytest.raises(BaseException) as caught:
        error_factory(probe)()
    assert (type(caught.value), str(caught.value)) == expected


def test_an_exception_instance_passes_through_unchanged(probe):
    mine = KeyError("k")
    with pytest.raises(KeyError) as caught:
        probe.raise_object(mine)
    assert caught.value is mine


def test_take_with_nothing_pending_gives_nothing(probe):
    assert probe.take_without_error() is False


RESUME = """
import _velmorapy_probe as probe
try:
    probe.force_core_check_failure("original failure")
except BaseException as caught:
    panic = caught
PAYLOAD
class Value:
    def __float__(self):
        raise panic
import sys
sys.stderr.write("=== calling\\n"); sys.stderr.flush()
try:
    probe.py_aggregate([("explicit", Value())])
except BaseException as error:
    print(type(error).__name__, error is panic, type(error) is type(panic), repr(error.args))
print(probe.py_aggregate([("implicit", 0.25)]))
"""

RESUME_LINES = (
    "--- velmorapy is resuming a panic after fetching a PanicException from Python. ---\n"
    "Python stack trace below:\n"
)


@pytest.mark.parametrize(
    "payload, expected_args",
    [
        ("", "('original failure',)"),
        (
            "class Loud:\n    def __str__(self):\n        raise RuntimeError('no')\n"
            "panic = type(panic)(Loud())",
            "('Unwrapped panic from Python code',)",
        ),
    ],
)
def test_a_panic_coming_back_from_python_is_resumed(python_process, payload, expected_args):
    result = python_process(RESUME.replace("PAYLOAD", payload), with_probe=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [f"PanicException False True {expected_args}", "0.25"]
    after_call = result.stderr.split("=== calling\n", 1)[1]
    assert after_call.startswith(RESUME_LINES)
    traceback = after_call[len(RESUME_LINES):]
    assert traceback.startswith("Traceback (most recent call last):")
    assert "in __float__" in traceback
    # The resumed failure writes no report of its own.
    assert "panicked at" not in after_call


def test_a_subclass_of_panic_exception_is_an_ordinary_error(python_process):
    code = RESUME.replace("PAYLOAD", "class Mine(type(panic)):\n    pass\npanic = Mine('sub')")
    result = python_process(code, with_probe=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["Mine True True ('sub',)", "0.25"]
    assert "resuming a panic" not in result.stderr


def test_a_panic_raised_by_len_is_resumed_not_ignored(python_process):
    code = RESUME.replace(
        "PAYLOAD",
        "class Seq:\n    def __len__(self):\n        raise panic\n"
        "    def __getitem__(self, i):\n        raise IndexError\n"
        "Value = None\n",
    ).replace('probe.py_aggregate([("explicit", Value())])', "probe.py_aggregate(Seq())")
    code = code.replace("class Value:\n    def __float__(self):\n        raise panic\n", "")
    result = python_process(code, with_probe=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[0] == "PanicException False True ('original failure',)"
    assert RESUME_LINES in result.stderr


def test_a_failed_making_of_the_type_leaves_the_cell_empty(probe, python_process):
    code = """
    import _velmorapy_probe as probe
    probe.fail_panic_type_makings(1)
    try:
        probe.make_panic_type()
    except BaseException as error:
        print(type(error).__name__, error.args[0])
    print(probe.make_panic_type().__module__)
    """
    result = python_process(code, with_probe=True)
    assert result.returncode == 0, result.stderr
    first, second = result.stdout.splitlines()
    assert first.startswith(
        "PanicException Failed to initialize new exception type.: PyErr { type: <class 'SystemError'>, "
        "value: SystemError("
    )
    assert first.endswith(", traceback: None }")
    assert second == "velmorapy_runtime"
