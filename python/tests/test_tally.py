"""Counting a block from the doubles' bits gives the counts of one comparison per score."""

import random
from array import array

import pytest

from velmora.tally import Overflow, tally

EDGES = [0.0, -0.0, 5e-324, 0.25, 0.49999999999999994, 0.5, 0.9999999999999999, 1.0,
         1.0000000000000002, 1.9999999999999998, 2.0, 100.0, -1e-300, -2.0, 1e308]


@pytest.mark.parametrize("seed", range(20))
def test_counts_equal_plain_comparisons(seed):
    generator = random.Random(seed)
    scores = generator.choices(EDGES[: generator.randint(4, len(EDGES))], k=generator.randint(1, 40))
    expected = (sum(s >= 0.5 for s in scores), sum(s < 0.0 or s > 1.0 for s in scores))
    assert tally(array("d", scores)) == expected


@pytest.mark.parametrize("infinite", [float("inf"), float("-inf")])
def test_an_infinite_score_is_an_overflow(infinite):
    with pytest.raises(Overflow):
        tally(array("d", [0.5, infinite, 0.25]))
