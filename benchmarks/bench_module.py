#!/usr/bin/env python3
"""Times velmorapy against the same work in numpy (and plain Python for the aggregate).

    .venv/bin/pip install numpy
    .venv/bin/python benchmarks/bench_module.py [--repeat N] [--baseline OTHER/velmorapy.abi3.so]

Each figure is the median of several timed runs of one call (seconds per call); the ratio is
the comparison's time divided by velmorapy's, so a ratio above 1 means velmorapy is faster. The
Monte Carlo comparison in numpy draws the same number of Beta variates per arm from
Generator.beta, vectorised, on the same Beta parameters, starting from the same score lists.
Results are not expected to match numerically: the generators differ. The score-array rows
compare a whole decision on two arrays with numpy merely counting both arrays' successes, the
least any reader of that memory must do.

--baseline loads a second build of the module (another commit's, say) into the same process
and times every velmorapy call with it too, so two builds meet the same machine state.
"""

from __future__ import annotations

import argparse
import array
import importlib.machinery
import importlib.util
import platform
import statistics
import random
import sys
import time
from collections.abc import Callable, Iterator

try:
    import numpy as np
except ImportError:
    print("numpy is needed for the comparison; install it into this environment first:\n"
          f"    {sys.executable} -m pip install numpy", file=sys.stderr)
    sys.exit(2)

try:
    import velmorapy
except ImportError:
    print("velmorapy is not installed in this environment; install it first:\n"
          f"    {sys.executable} -m pip install .", file=sys.stderr)
    sys.exit(2)

SEED = 2024
DECISION_SAMPLES = 10_000
MIN_SESSIONS_PER_ARM = 20
PROMOTE_THRESHOLD = 0.95

# (champion, challenger) Beta posteriors; an arm Beta(s + 1, f + 1) is s successes, f failures.
PARAMETER_PAIRS = [((11, 9), (16, 6)), ((1, 1), (1, 1)), ((5001, 5001), (5101, 4901))]


def arm(shape: tuple[int, int]) -> list[float]:
    successes, failures = shape[0] - 1, shape[1] - 1
    return [0.7] * successes + [0.1] * failures


def median_time(call: Callable[[], object], repeat: int) -> float:
    """The median of `repeat` runs, each long enough (at least 0.05 s) to time reliably."""
    loops = 1
    while True:
        started = time.perf_counter()
        for _ in range(loops):
            call()
        elapsed = time.perf_counter() - started
        if elapsed >= 0.05:
            break
        loops *= 2
    runs = [elapsed / loops]
    for _ in range(repeat - 1):
        started = time.perf_counter()
        for _ in range(loops):
            call()
        runs.append((time.perf_counter() - started) / loops)
    return statistics.median(runs)


def load_build(path: str):
    """Another build of the extension, loaded beside the installed one under the same name."""
    loader = importlib.machinery.ExtensionFileLoader("velmorapy", path)
    spec = importlib.util.spec_from_file_location("velmorapy", path, loader=loader)
    if spec is None:
        raise SystemExit(f"--baseline: {path} is not an extension module")
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


def numpy_posterior(champion: list[float], challenger: list[float], samples: int,
                    generator: np.random.Generator) -> float:
    champion_scores = np.asarray(champion, dtype=np.float64)
    challenger_scores = np.asarray(challenger, dtype=np.float64)
    champion_wins = int(np.count_nonzero(champion_scores >= 0.5))
    challenger_wins = int(np.count_nonzero(challenger_scores >= 0.5))
    x = generator.beta(champion_wins + 1, champion_scores.size - champion_wins + 1, samples)
    y = generator.beta(challenger_wins + 1, challenger_scores.size - challenger_wins + 1, samples)
    return float(np.count_nonzero(y > x)) / samples


def numpy_decision(champion: list[float], challenger: list[float],
                   generator: np.random.Generator) -> tuple[str, float, int]:
    sessions_each = min(len(champion), len(challenger))
    if len(champion) < MIN_SESSIONS_PER_ARM or len(challenger) < MIN_SESSIONS_PER_ARM:
        return ("need_more_data", 0.0, sessions_each)
    posterior = numpy_posterior(champion, challenger, DECISION_SAMPLES, generator)
    return ("promote" if posterior >= PROMOTE_THRESHOLD else "hold", posterior, sessions_each)


def python_aggregate(signals: list[tuple[str, float]]) -> float:
    weights = {"explicit": 5.0, "implicit": 1.0}
    if not signals:
        return 0.5
    total = weighted = 0.0
    for kind, value in signals:
        weight = weights[kind]
        weighted += min(max(value, 0.0), 1.0) * weight
        total += weight
    return min(max(weighted / total, 0.0), 1.0)


# A row: its task, the velmorapy call to time given a build of the module, and the comparison.
Row = tuple[str, Callable[[object], Callable[[], object]], Callable[[], object]]


def rows() -> Iterator[Row]:
    generator = np.random.default_rng(SEED)
    for champion_shape, challenger_shape in PARAMETER_PAIRS:
        champion, challenger = arm(champion_shape), arm(challenger_shape)
        label = f"Beta{champion_shape} vs Beta{challenger_shape}"
        if min(len(champion), len(challenger)) >= MIN_SESSIONS_PER_ARM:
            yield (f"py_promotion_decision, {label}",
                   lambda m, a=champion, b=challenger: lambda: m.py_promotion_decision(a, b, SEED),
                   lambda a=champion, b=challenger: numpy_decision(a, b, generator))
        for samples in (10**4, 10**6):
            yield (f"py_posterior_probability 10^{len(str(samples)) - 1}, {label}",
                   lambda m, a=champion, b=challenger, n=samples:
                       lambda: m.py_posterior_probability(a, b, n, SEED),
                   lambda a=champion, b=challenger, n=samples: numpy_posterior(a, b, n, generator))

    scores = [random.Random(SEED).random() for _ in range(10**6)]
    # No samples: the call converts the list and counts its successes, nothing more.
    yield ("convert and count 10^6 scores (numpy.asarray)",
           lambda m: lambda: m.py_posterior_probability(scores, [], 0, SEED),
           lambda: np.count_nonzero(np.asarray(scores, dtype=np.float64) >= 0.5))

    # The conversion alone against the standard library's own bulk conversion of a float list.
    yield ("convert 10^6 scores (array.array('d', list))",
           lambda m: lambda: m.py_posterior_probability(scores, [], 0, SEED),
           lambda: array.array("d", scores))

    yield from score_array_rows()

    maker = random.Random(SEED)
    signals = [(maker.choice(("explicit", "implicit")), maker.uniform(-0.2, 1.2))
               for _ in range(1000)]
    yield ("py_aggregate, 1000 signals (plain Python)",
           lambda m: lambda: m.py_aggregate(signals),
           lambda: python_aggregate(signals))


def score_array_rows() -> Iterator[Row]:
    """A decision on two arms of scores held in memory, against numpy counting them."""
    maker = np.random.default_rng(SEED)
    arms = [maker.random(10**7), maker.random(10**7)]
    for size, dtype in [(10**6, "float64"), (10**6, "float32"), (10**6, "int64"),
                        (10**6, "bool"), (10**7, "float64")]:
        # int64 scores 0 and 1 and bool flags keep the successes near half, as the floats do.
        held = [(a[:size] * 2).astype(dtype) if dtype != "bool" else a[:size] >= 0.5
                for a in arms]
        yield (f"py_promotion_decision, 2 x 10^{len(str(size)) - 1} {dtype} (np.count_nonzero)",
               lambda m, a=held[0], b=held[1]: lambda: m.py_promotion_decision(a, b, SEED),
               lambda a=held[0], b=held[1]: (np.count_nonzero(a >= 0.5),
                                             np.count_nonzero(b >= 0.5)))
    champion, challenger = arms[0][:10**6].tolist(), arms[1][:10**6].tolist()
    for kind in (list, tuple):
        a, b = kind(champion), kind(challenger)
        yield (f"py_promotion_decision, 2 x 10^6 {kind.__name__} (np.count_nonzero)",
               lambda m, a=a, b=b: lambda: m.py_promotion_decision(a, b, SEED),
               lambda a=a, b=b: (np.count_nonzero(np.asarray(a) >= 0.5),
                                 np.count_nonzero(np.asarray(b) >= 0.5)))


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=7, help="timed runs per figure (median kept)")
    parser.add_argument("--baseline", metavar="SO",
                        help="another build's velmorapy.abi3.so to time beside the installed one")
    arguments = parser.parse_args(argv)
    if arguments.repeat < 1:
        parser.error("--repeat must be at least 1")
    baseline = load_build(arguments.baseline) if arguments.baseline else None

    print(f"CPython {platform.python_version()}, numpy {np.__version__}, "
          f"{platform.machine()}, median of {arguments.repeat}")
    print("Beta(11, 9) vs Beta(16, 6) and Beta(1, 1) vs Beta(1, 1) have fewer than "
          f"{MIN_SESSIONS_PER_ARM} sessions per arm, so the promotion rule draws nothing for them "
          "and only the third pair has a decision row.\n")
    header = f"{'task':<72}{'velmorapy':>12}{'comparison':>12}{'ratio':>8}"
    if baseline is not None:
        header += f"{'baseline':>12}{'ours/base':>10}"
    print(header)
    print("-" * len(header))
    for task, call_with, comparison in rows():
        ours = median_time(call_with(velmorapy), arguments.repeat)
        theirs = median_time(comparison, arguments.repeat)
        line = (f"{task:<72}{format_seconds(ours):>12}{format_seconds(theirs):>12}"
                f"{theirs / ours:>7.2f}x")
        if baseline is not None:
            base = median_time(call_with(baseline), arguments.repeat)
            line += f"{format_seconds(base):>12}{ours / base:>9.3f}x"
        print(line, flush=True)
    print("\nratio = comparison time / velmorapy time; above 1 means velmorapy is faster.")
    if baseline is not None:
        print("ours/base = velmorapy time / baseline build's time; below 1 means this build is "
              "faster.")
    return 0


def format_seconds(seconds: float) -> str:
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
