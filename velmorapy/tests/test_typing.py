"""The type stub: strict mypy accepts ordinary use, and it matches the module at run time."""

import subprocess
import sys
from pathlib import Path

import pytest

SANITIZED = "libasan" in open("/proc/self/maps").read()
pytestmark = pytest.mark.skipif(SANITIZED, reason="mypy is checked against the plain build")


def mypy(*arguments, cache=None):
    options = ["--cache-dir", str(cache)] if cache else []
    return subprocess.run([sys.executable, "-m", *arguments, *options],
                          capture_output=True, text=True, timeout=600)


def test_strict_mypy_accepts_arrays_buffers_and_sequences(tmp_path):
    usage = Path(__file__).with_name("stub_usage.py")
    result = mypy("mypy", "--strict", str(usage), cache=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


def test_strict_mypy_rejects_an_unknown_signal_kind(tmp_path):
    bad = tmp_path / "bad.py"
    bad.write_text('import velmorapy\nvelmorapy.py_aggregate([("Explicit", 1.0)])\n')
    result = mypy("mypy", "--strict", str(bad), cache=tmp_path / "cache")
    assert result.returncode == 1 and "Explicit" in result.stdout, result.stdout


def test_stubtest_finds_the_stub_and_the_module_alike():
    result = mypy("mypy.stubtest", "velmorapy")
    assert result.returncode == 0, result.stdout + result.stderr
