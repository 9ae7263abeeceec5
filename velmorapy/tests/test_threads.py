"""Eight threads calling all three functions at once, errors mixed in, get the serial results."""

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
