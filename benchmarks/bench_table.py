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
    started = time.perf_counter()
    value = step()
    phases.append((name, time.perf_counter() - started))
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
        phases, "sort into arms", lambda: table.ScoreGroups.of(experiments, arms, kept, scores, len(ids))
    )
    timed(phases, "module decisions", lambda: groups.decisions(ids, seed))
    return phases


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
        phases = phases_of(frame, seed=1)
        if best is None or sum(t for _, t in phases) < sum(t for _, t in best):
            best = phases
    for name, seconds in best:
        print(f"  {name:<20} {seconds:7.3f} s")
    print(f"  {'sum of phases':<20} {sum(t for _, t in best):7.3f} s")
    totals = []
    for _ in range(options.repeat):
        started = time.perf_counter()
        table.decide_table(frame, seed=1)
        totals.append(time.perf_counter() - started)
    print(f"  {'total (decide_table)':<20} {min(totals):7.3f} s (best of {options.repeat})")


if __name__ == "__main__":
    main()
