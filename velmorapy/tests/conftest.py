"""Shared fixtures: the test-only probe module and fresh interpreters for process-wide state."""

import importlib
import os
import shlex
import subprocess
import sys
import textwrap

import pytest

PROBE_DIR_VARIABLE = "VELMORAPY_PROBE_DIR"
# The command that starts a fresh interpreter where sys.executable alone cannot (an emulated one).
INTERPRETER_VARIABLE = "VELMORAPY_TEST_INTERPRETER"


def probe_dir():
    """The probe's build directory, or a skip when the test command did not provide one."""
    directory = os.environ.get(PROBE_DIR_VARIABLE)
    if not directory:
        pytest.skip(f"{PROBE_DIR_VARIABLE} is unset: the bridge probe is built by scripts/test-all.sh")
    return os.path.abspath(directory)


@pytest.fixture(scope="session")
def probe():
    """The test-only probe, imported from the build. Missing while the variable is set: a failure."""
    directory = probe_dir()
    if directory not in sys.path:
        sys.path.insert(0, directory)
    return importlib.import_module("_velmorapy_probe")


def run_python(code, *, env=None, with_probe=False):
    """Runs `code` in a fresh interpreter; returns the completed process with text output."""
    environment = {k: v for k, v in os.environ.items() if k != "VELMORAPY_BACKTRACE"}
    if with_probe:
        # Ahead of, not instead of, a path that selects the build under test (the sanitized one).
        environment["PYTHONPATH"] = os.pathsep.join(
            filter(None, [probe_dir(), os.environ.get("PYTHONPATH")])
        )
    environment.update(env or {})
    interpreter = shlex.split(os.environ.get(INTERPRETER_VARIABLE, "")) or [sys.executable]
    return subprocess.run(
        [*interpreter, "-c", textwrap.dedent(code)],
        env=environment,
        capture_output=True,
        text=True,
        errors="replace",
        timeout=120,
    )


@pytest.fixture
def python_process():
    return run_python
