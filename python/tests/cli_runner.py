"""The installed ``velmorapy`` command, run as a user runs it: a process, files, exit status."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

COMMAND = Path(sys.executable).parent / ("velmorapy.exe" if os.name == "nt" else "velmorapy")

needs_command = pytest.mark.skipif(
    not COMMAND.exists(), reason=f"no installed velmorapy command next to {sys.executable}"
)


def velmorapy(*args, stdin=None, stdout=subprocess.PIPE, env=None, cwd=None):
    return subprocess.run(
        [str(COMMAND), *map(str, args)],
        input=stdin,
        stdout=stdout,
        stderr=subprocess.PIPE,
        text=True,
        env=env,
        cwd=cwd,
        timeout=120,
    )


def without_module(tmp_path, name):
    """An environment whose interpreters cannot import `name`, as if it were not installed."""
    shim = tmp_path / "shim"
    shim.mkdir(exist_ok=True)
    (shim / "sitecustomize.py").write_text(
        "import sys\n"
        "class Blocked:\n"
        "    def find_spec(self, fullname, path=None, target=None):\n"
        f"        if fullname.partition('.')[0] == {name!r}:\n"
        "            raise ModuleNotFoundError(f'No module named {fullname!r}', name=fullname)\n"
        "sys.meta_path.insert(0, Blocked())\n"
    )
    paths = [str(shim), os.environ.get("PYTHONPATH", "")]
    return {**os.environ, "PYTHONPATH": os.pathsep.join(filter(None, paths))}


def one_line_failure(result, status, message):
    """The process failed with `status` and said `message` on one line, nothing else."""
    assert result.returncode == status, result.stderr
    lines = result.stderr.splitlines()
    errors = [line for line in lines if not line.startswith("warning:")]
    assert len(errors) == 1, result.stderr
    assert message in errors[0]
    assert "Traceback" not in result.stderr
