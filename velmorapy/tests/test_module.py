"""The module object: its attributes, registration, re-import and the subinterpreter refusal."""

import inspect
import sys

import pytest

import velmorapy

REGISTERED = ["py_aggregate", "py_posterior_probability", "py_promotion_decision"]


def test_module_attributes():
    assert velmorapy.__name__ == "velmorapy"
    assert velmorapy.__doc__ == "Python module registered as `velmorapy`."
    assert velmorapy.__all__ == REGISTERED
    own = {name for name in vars(velmorapy) if not name.startswith("__")}
    assert own == set(REGISTERED)
    assert not hasattr(velmorapy, "PanicException")


@pytest.mark.parametrize("name", REGISTERED)
def test_function_records(name):
    function = getattr(velmorapy, name)
    assert function.__name__ == name
    assert function.__module__ == "velmorapy"
    assert function.__self__ is velmorapy


def test_text_signature_and_doc():
    assert str(inspect.signature(velmorapy.py_aggregate)) == "(signals)"
    assert velmorapy.py_aggregate.__doc__ == (
        "Weighted-mean aggregate over a list of `(kind, value)` signal tuples.\n"
        "\n"
        '`kind` is the string `"explicit"` or `"implicit"`.'
    )


def test_reimport_returns_the_identical_module_without_registering_twice():
    original = sys.modules.pop("velmorapy")
    try:
        import velmorapy as again

        assert again is original
        assert again.__all__ == REGISTERED
    finally:
        sys.modules["velmorapy"] = original


def test_reimport_in_a_fresh_process(python_process):
    result = python_process(
        """
        import sys, velmorapy
        first = velmorapy
        for _ in range(3):
            del sys.modules["velmorapy"]
            import velmorapy
        assert velmorapy is first, "a new module object was built"
        print(velmorapy.__all__)
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == repr(REGISTERED)


SUBINTERPRETER = """
import os, sys, tempfile
try:
    import _interpreters as interpreters
except ImportError:
    try:
        import _xxsubinterpreters as interpreters
    except ImportError:
        print("no-subinterpreters")
        sys.exit(0)
IMPORT_IN_MAIN
path = tempfile.mktemp()
code = (
    "try:\\n"
    "    import velmorapy\\n"
    "    outcome = 'imported'\\n"
    "except ImportError as error:\\n"
    "    outcome = type(error).__name__ + ': ' + str(error)\\n"
    "open(%r, 'w').write(outcome)\\n" % path
)
# A legacy (shared-GIL) interpreter: an isolated one refuses every single-phase module
# before the module's own init runs.
if sys.version_info >= (3, 13):
    interpreter = interpreters.create("legacy")
elif sys.version_info >= (3, 12):
    interpreter = interpreters.create(isolated=False)
else:
    interpreter = interpreters.create()
interpreters.run_string(interpreter, code)
interpreters.destroy(interpreter)
print(open(path).read())
os.unlink(path)
"""


@pytest.mark.parametrize("main_imports_first", [True, False])
def test_a_second_interpreter_is_refused(python_process, main_imports_first):
    code = SUBINTERPRETER.replace("IMPORT_IN_MAIN", "import velmorapy" if main_imports_first else "")
    if not main_imports_first:
        # The subinterpreter claims the module first; then the main interpreter is the second.
        code += (
            "try:\n    import velmorapy\n    print('main imported')\n"
            "except ImportError as error:\n    print('main refused:', error)\n"
        )
    result = python_process(code)
    assert result.returncode == 0, result.stderr
    if result.stdout.startswith("no-subinterpreters"):
        pytest.skip("this CPython cannot create a subinterpreter from Python")
    refusal = (
        "velmorapy does not yet support subinterpreters, "
        "see https://velmora.invalid/velmorapy/subinterpreters"
    )
    lines = result.stdout.splitlines()
    if main_imports_first:
        assert lines == [f"ImportError: {refusal}"]
    else:
        # Whichever interpreter loaded the module first keeps it (3.13 loads a single-phase
        # module in the main interpreter first): the other one is refused.
        assert sorted(lines) in (
            sorted([f"ImportError: {refusal}", "main imported"]),
            sorted([f"main refused: {refusal}", lines[0]]),
        )
        assert sum(refusal in line for line in lines) == 1
