"""Eight threads calling all three functions at once, errors and internal failures mixed in,
get the serial results, and the failure reports they write never run into each other."""

import re
import sys
import threading

from call_table import build_calls

THREADS = 8
ROUNDS = 3


def test_concurrent_calls_match_serial_results():
    calls = build_calls()
    serial = [call.outcome() for call in calls]
    barrier = threading.Barrier(THREADS)
    seen: list[list] = [[] for _ in range(THREADS)]

    def worker(thread: int) -> None:
        # Each thread walks the table from its own starting point, half of them backwards,
        # so that different functions and error paths run side by side.
        order = [(thread * 5 + i) % len(calls) for i in range(len(calls))]
        if thread % 2:
            order.reverse()
        barrier.wait()
        for _ in range(ROUNDS):
            for index in order:
                seen[thread].append((index, calls[index].outcome()))

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # hand the lock over as often as the interpreter allows
    try:
        threads = [threading.Thread(target=worker, args=(t,)) for t in range(THREADS)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)

    assert all(len(outcomes) == ROUNDS * len(calls) for outcomes in seen)
    mismatches = [
        (calls[index].label, outcome, serial[index])
        for outcomes in seen
        for index, outcome in outcomes
        if outcome != serial[index]
    ]
    assert mismatches == []


PANICKING_THREADS = """
import sys, threading, velmorapy, _velmorapy_probe as probe

def message(thread, round):
    # Long, so that two reports written at once would visibly cut into each other.
    return f"thread {thread} round {round} " + chr(ord("a") + thread) * 3000

def worker(thread, barrier, wrong):
    barrier.wait()
    for round in range(25):
        try:
            probe.force_core_check_failure(message(thread, round))
        except BaseException as error:
            if type(error).__name__ != "PanicException" or error.args != (message(thread, round),):
                wrong.append(repr(error))
        if velmorapy.py_aggregate([("explicit", 1.0), ("implicit", 0.0)]) != 5 / 6:
            wrong.append("aggregate")

sys.setswitchinterval(1e-6)
barrier, wrong = threading.Barrier(8), []
threads = [threading.Thread(target=worker, args=(t, barrier, wrong)) for t in range(8)]
for thread in threads:
    thread.start()
for thread in threads:
    thread.join()
print(wrong)
"""


def test_internal_failures_in_eight_threads_report_whole_and_reach_their_callers(
    python_process,
):
    result = python_process(PANICKING_THREADS, env={"VELMORAPY_BACKTRACE": "0"}, with_probe=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "[]"
    # Every report: a newline, its header line, its message line whole, and the note in the
    # first report only. Interleaved writes would break a line or merge two reports.
    note = "note: run with `VELMORAPY_BACKTRACE=1` environment variable to display a backtrace"
    blocks = result.stderr.split("\nthread '<unnamed>' (")
    assert blocks[0] == ""
    messages, notes = [], 0
    for block in blocks[1:]:
        header, message, *rest = block.split("\n")
        assert re.fullmatch(r"\d+\) panicked at .+:\d+:\d+:", header)
        assert rest in ([""], [note, ""])
        messages.append(message)
        notes += rest == [note, ""]
    assert notes == 1
    expected = [
        f"thread {t} round {r} " + chr(ord("a") + t) * 3000 for t in range(8) for r in range(25)
    ]
    assert sorted(messages) == sorted(expected)
