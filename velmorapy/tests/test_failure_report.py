"""The failure report on the process's standard error; each setting needs a fresh process."""

import re
import signal

import pytest

NOTE_OFF = "note: run with `VELMORAPY_BACKTRACE=1` environment variable to display a backtrace"
NOTE_SHORT = (
    "note: Some details are omitted, run with `VELMORAPY_BACKTRACE=full` for a verbose backtrace."
)
HEADER = re.compile(r"^thread '<unnamed>' \((\d+)\) panicked at (.+):(\d+):(\d+):$")

TWO_FAILURES = """
import os, threading, _velmorapy_probe as probe
print(threading.get_native_id())
for message in ("first failure", "second failure"):
    try:
        probe.force_core_check_failure(message)
    except BaseException:
        pass
    os.environ["VELMORAPY_BACKTRACE"] = "full"  # read once: too late to matter
"""


def reports(stderr):
    """The report blocks of a stderr text, each as a list of lines."""
    return [block.rstrip("\n").split("\n") for block in _split(stderr)]


def _split(stderr):
    """Every report begins with a newline, then its "thread ..." line."""
    assert stderr.startswith("\nthread "), stderr
    chunks = stderr[1:].split("\n\nthread ")
    return [chunks[0]] + ["thread " + chunk for chunk in chunks[1:]]


@pytest.mark.parametrize(
    "setting, expected",
    [
        (None, "off"),
        ("0", "off"),
        ("1", "short"),
        ("yes", "short"),
        ("", "short"),
        ("full", "full"),
    ],
)
def test_backtrace_settings(python_process, setting, expected):
    env = {} if setting is None else {"VELMORAPY_BACKTRACE": setting}
    result = python_process(TWO_FAILURES, env=env, with_probe=True)
    assert result.returncode == 0, result.stderr
    thread_id = result.stdout.split()[0]
    blocks = reports(result.stderr)
    assert len(blocks) == 2
    for block, message in zip(blocks, ("first failure", "second failure")):
        header = HEADER.match(block[0])
        assert header, block[0]
        assert header.group(1) == thread_id
        assert header.group(2).endswith("probe_module.cpp")
        assert block[1] == message
    first, second = blocks
    if expected == "off":
        assert first[2:] == [NOTE_OFF]
        assert second[2:] == []
    else:
        for block in blocks:
            assert block[2] == "stack backtrace:"
            assert len(block) > 4
            assert (block[-1] == NOTE_SHORT) == (expected == "short")
            assert NOTE_OFF not in block


def frame_count(block):
    return sum(1 for line in block if re.match(r"^ +\d+: ", line))


def test_a_short_backtrace_leaves_out_the_failure_machinery(python_process):
    counts = {}
    for setting in ("1", "full"):
        result = python_process(TWO_FAILURES, env={"VELMORAPY_BACKTRACE": setting}, with_probe=True)
        counts[setting] = frame_count(reports(result.stderr)[0])
    assert 0 < counts["1"] < counts["full"]


def test_concurrent_reports_never_interleave(python_process):
    code = """
    import _velmorapy_probe as probe
    probe.concurrent_failure_reports(4, 25)
    """
    result = python_process(code, with_probe=True)
    assert result.returncode == 0
    blocks = _split(result.stderr)
    assert len(blocks) == 100
    for block in blocks:
        lines = block.rstrip("\n").split("\n")
        assert HEADER.match(lines[0])
        thread = int(re.match(r"report from thread (\d+) ", lines[1]).group(1))
        assert lines[1] == f"report from thread {thread} " + chr(ord("a") + thread) * 4000
        assert lines[2:] in ([], [NOTE_OFF])


@pytest.mark.parametrize("setting", [None, "0", "1"])
def test_a_failure_while_raising_ends_the_process_at_the_guard(python_process, setting):
    # The PanicException type cannot be made while the frame raises the first failure.
    code = """
    import _velmorapy_probe as probe
    probe.fail_panic_type_makings(5)
    probe.force_core_check_failure("the body failed")
    print("survived")
    """
    env = {} if setting is None else {"VELMORAPY_BACKTRACE": setting}
    result = python_process(code, env=env, with_probe=True)
    assert result.returncode == -signal.SIGABRT
    assert "survived" not in result.stdout
    blocks = _split(result.stderr)
    assert [block.split("\n")[1].split(":")[0] for block in blocks] == [
        "the body failed",
        "Failed to initialize new exception type.",
        "uncaught panic at ffi boundary",
    ]
    # The failed making follows the setting (the first failure was already caught); the
    # guard's failure is raised while that one unwinds: always every frame, never a note.
    making, guard = (block.rstrip("\n").split("\n") for block in blocks[1:])
    assert (making[2:3] == ["stack backtrace:"]) == (setting == "1")
    assert NOTE_OFF not in making
    assert guard[2] == "stack backtrace:"
    assert NOTE_OFF not in guard and NOTE_SHORT not in guard
