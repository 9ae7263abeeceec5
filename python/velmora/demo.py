"""The built-in demo data: two arms of 300 sessions, the challenger somewhat better."""

from __future__ import annotations

import random
from array import array

from .reader import Scores
from .tally import SUCCESS_THRESHOLD

SOURCE = "built-in demo data"


def demo_arms() -> tuple[Scores, Scores]:
    """Always the same scores, so the demo always gives the same decision."""
    generator = random.Random(20240607)

    def arm(count: int, lift: float) -> Scores:
        values = array(
            "d",
            (round(min(1.0, max(0.0, generator.random() * 0.9 + lift)), 3) for _ in range(count)),
        )
        successes = sum(1 for value in values if value >= SUCCESS_THRESHOLD)
        return Scores(SOURCE, values, successes, outside_unit=0)

    champion = arm(300, 0.07)
    return champion, arm(300, 0.17)
