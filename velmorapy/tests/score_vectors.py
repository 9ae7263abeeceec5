"""Known-good vectors of the posterior estimate and the promotion decision, and arms to feed them."""

from __future__ import annotations

import math
from pathlib import Path

DATA_DIR = Path(__file__).resolve().parents[2] / "velmora-core" / "tests" / "data"


def arm(successes: int, failures: int) -> list[float]:
    """Any list of `successes` scores of at least 0.5 and `failures` below it will do."""
    return [0.7] * successes + [0.1] * failures


def read_rows(name: str) -> list[list[str]]:
    rows = []
    for line in (DATA_DIR / name).read_text().splitlines():
        if line and not line.startswith("#"):
            rows.append(line.split("\t"))
    return rows


def posterior_vectors() -> list[tuple[list[float], list[float], int, int, float]]:
    """(champion, challenger, samples, seed, posterior) for every line of posterior.tsv."""
    vectors = []
    for row in read_rows("posterior.tsv"):
        sc, fc, sh, fh, samples, seed = (int(field) for field in row[:6])
        vectors.append((arm(sc, fc), arm(sh, fh), samples, seed, float.fromhex(row[6])))
    return vectors


def decision_vectors() -> list[tuple[list[float], list[float], int, tuple[str, float, int]]]:
    """(champion, challenger, seed, (outcome, posterior, sessions_each)) for decision.tsv."""
    vectors = []
    for row in read_rows("decision.tsv"):
        sc, fc, sh, fh, seed = (int(field) for field in row[:5])
        expected = (row[5], float.fromhex(row[6]), int(row[7]))
        vectors.append((arm(sc, fc), arm(sh, fh), seed, expected))
    return vectors


def same_float(a: float, b: float) -> bool:
    """Bit-for-bit equality of results, NaN included."""
    return a == b or (math.isnan(a) and math.isnan(b))
