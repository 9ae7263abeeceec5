"""Times velmora.decide_table on one large DataFrame in memory, phase by phase.

    python benchmarks/bench_table.py [--experiments 10000] [--sessions 1000] [--order shuffled]

The table has one row per session: experiments x 2 arms x sessions rows, experiment ids as
strings ("exp-00042"), arm labels as strings, uniform scores. The phases are the steps of
decide_table in order; "total" is one whole decide_table call on the same table.
"""

import argparse
import time

import numpy as np
import pandas as pd
import pyarrow as pa

from velmora import table


def make_frame(experiments, sessions, order, seed=7):
    rng = np.random.default_rng(seed)
    rows = experiments * 2 * sessions
    experiment = np.repeat(np.arange(experiments), 2 * sessions)
    arm = np.tile(np.repeat([0, 1], sessions), experiments)
    if order == "shuffled":
        permutation = rng.permutation(rows)
        experiment, arm = experiment[permutation], arm[permutation]
    ids = pa.array([f"exp-{i:05d}" for i in range(experiments)]).take(pa.array(experiment))
    labels = pa.array(["champion", "challenger"]).take(pa.array(arm))
    return pd.DataFrame(
        {
            "experiment": pd.Series(ids, dtype=pd.ArrowDtype(pa.string())).astype("string[pyarrow]"),
            "arm": pd.Series(labels, dtype=pd.ArrowDtype(pa.string())).astype("string[pyarrow]"),
            "score": rng.random(rows),
        }
    )


def timed(phases, name, step):
    """Runs step, noting its wall time and the CPU time of this process (steadier on a shared
    machine)."""
    started, cpu = time.perf_counter(), time.process_time()
    value = step()
    phases.append((name, time.perf_counter() - started, time.process_time() - cpu))
    return value


def phases_of(frame, seed):
    phases = []
    arms = timed(phases, "arm codes", lambda: table.arm_codes(frame["arm"], "champion", "challenger"))
    kept = arms != table.OTHER
    experiments, ids = timed(
        phases, "experiment codes", lambda: table.experiment_codes(frame["experiment"], kept, "experiment", True)
    )
    scores = timed(phases, "scores to doubles", lambda: table.score_values(frame["score"], "score"))
    timed(phases, "null check", lambda: table.check_scores(scores, kept, experiments, ids, "score", True))
    groups = timed(
        phases, "count arms", lambda: table.ArmCounts.of(experiments, arms, kept, scores, len(ids))
    )
    timed(phases, "module decisions", lambda: groups.decisions(ids, seed))
    return phases, groups


def distinct_counts(groups):
    """How many calls the module gets: experiments with the same four counts share one."""
    sizes, successes = groups.sizes, groups.successes
    counts = np.stack([sizes[0::2], successes[0::2], sizes[1::2], successes[1::2]], axis=1)
    return len(np.unique(counts, axis=0))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--experiments", type=int, default=10_000)
    parser.add_argument("--sessions", type=int, default=1_000, help="sessions per arm")
    parser.add_argument("--order", choices=("shuffled", "grouped"), default="shuffled")
    parser.add_argument("--repeat", type=int, default=3, help="best of this many runs")
    options = parser.parse_args()
    frame = make_frame(options.experiments, options.sessions, options.order)
    print(f"{len(frame):,} rows, {options.experiments:,} experiments, {options.order}")
    best = None
    for _ in range(options.repeat):
        phases, groups = phases_of(frame, seed=1)
        if best is None or sum(p[1] for p in phases) < sum(p[1] for p in best):
            best = phases
    print(f"  {distinct_counts(groups):,} distinct count pairs, one module call each")
    print(f"  {'phase':<20} {'wall':>8} {'cpu':>8}")
    for name, wall, cpu in best:
        print(f"  {name:<20} {wall:7.3f}s {cpu:7.3f}s")
    print(f"  {'sum of phases':<20} {sum(p[1] for p in best):7.3f}s {sum(p[2] for p in best):7.3f}s")
    totals = []
    for _ in range(options.repeat):
        totals.append([])
        timed(totals[-1], "total", lambda: table.decide_table(frame, seed=1))
    _, wall, cpu = min((t[0] for t in totals), key=lambda t: t[1])
    print(f"  {'decide_table':<20} {wall:7.3f}s {cpu:7.3f}s (best of {options.repeat})")


if __name__ == "__main__":
    main()
