"""Many calls, good and bad, leave nothing behind: no reference kept or dropped on an argument,
no interpreter block, no native memory."""

import gc
import os
import resource
import sys

import pytest

from call_table import Call, build_calls

CALLS = build_calls()
# The heavy calls each draw 20000 variates; fewer of them keep the test quick.
REPEATS, HEAVY_REPEATS = 2500, 150
# A leak of one block per call, or of one native copy of an argument list, exceeds these bounds
# many times over; interpreter caches warming up stay well below them.
BLOCK_GROWTH_BOUND = 64
RSS_GROWTH_BOUND = 8 << 20

# Under the sanitizer run the interpreter allocates with plain malloc (no pymalloc blocks to
# count) and freed memory sits in quarantine, so only the reference counts mean anything there.
SANITIZED = "libasan" in open("/proc/self/maps").read()


def repeats(call: Call) -> int:
    return HEAVY_REPEATS if call.heavy else REPEATS


def run(call: Call, times: int) -> None:
    for _ in range(times):
        try:
            call()
        except Exception:
            pass


def resident_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def peak_resident_bytes() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def is_shared(obj) -> bool:
    """Cached singletons whose reference counts move with everything else the interpreter does."""
    if obj is None or type(obj) is bool or obj == ():
        return True
    if type(obj) is int:
        return -5 <= obj <= 256
    return type(obj) is str and len(obj) <= 1


def test_table_makes_at_least_1e5_calls():
    assert sum(repeats(call) for call in CALLS) >= 100_000


@pytest.mark.parametrize("call", CALLS, ids=lambda call: call.label)
def test_repeated_call_leaves_references_and_blocks_unchanged(call):
    if call.raises is None:
        call()
    else:
        with pytest.raises(call.raises):
            call()
    run(call, 200)  # caches, freelists and the adaptive interpreter settle first
    objects = [obj for obj in call.arguments() if not is_shared(obj)]
    gc.collect()
    references = [sys.getrefcount(obj) for obj in objects]
    blocks = sys.getallocatedblocks()

    run(call, repeats(call))

    gc.collect()
    growth = sys.getallocatedblocks() - blocks
    after = [sys.getrefcount(obj) for obj in objects]
    changed = [
        (type(obj).__name__, before, now)
        for obj, before, now in zip(objects, references, after)
        if now != before
    ]
    assert changed == [], "reference counts changed: (type, before, after)"
    assert growth <= BLOCK_GROWTH_BOUND


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's quarantine holds freed memory")
def test_resident_size_stays_flat_over_the_whole_table():
    for call in CALLS:
        run(call, 20)
    gc.collect()
    resident, peak = resident_bytes(), peak_resident_bytes()

    for call in CALLS:
        run(call, repeats(call))

    gc.collect()
    assert resident_bytes() - resident <= RSS_GROWTH_BOUND
    assert peak_resident_bytes() - peak <= RSS_GROWTH_BOUND
