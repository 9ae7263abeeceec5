"""A promotion decision with what the report adds to it.

The outcome, posterior and sessions are exactly what the module's rule returns for the scores
in file order; the exact probability and the standard error sit beside them and never change
them.
"""

from __future__ import annotations

from dataclasses import dataclass

import velmorapy

from . import exact
from .reader import Scores

DECISION_SAMPLES = 10_000  # the rule's Monte Carlo draws
PROMOTE_THRESHOLD = 0.95
MIN_SESSIONS_PER_ARM = 20
DEFAULT_SEED = 2024
_FLIP_STANDARD_ERRORS = 3.0


@dataclass(frozen=True)
class Decision:
    outcome: str
    posterior: float
    sessions_each: int
    seed: int
    champion: Scores
    challenger: Scores
    exact_probability: float

    @property
    def sampled(self) -> bool:
        return self.outcome != "need_more_data"

    @property
    def samples(self) -> int:
        return DECISION_SAMPLES if self.sampled else 0

    @property
    def standard_error(self) -> float | None:
        """The Monte Carlo standard error of the posterior; None when nothing was sampled."""
        return exact.standard_error(self.posterior, DECISION_SAMPLES) if self.sampled else None

    @property
    def another_seed_could_differ(self) -> bool:
        """Whether the posterior is close enough to the threshold for the draws to matter."""
        error = self.standard_error
        return bool(error) and abs(self.posterior - PROMOTE_THRESHOLD) <= _FLIP_STANDARD_ERRORS * error


def decide(champion: Scores, challenger: Scores, seed: int) -> Decision:
    outcome, posterior, sessions_each = velmorapy.py_promotion_decision(
        champion.values, challenger.values, seed
    )
    probability = exact.probability_better(
        exact.beta_parameters(challenger.sessions, challenger.successes),
        exact.beta_parameters(champion.sessions, champion.successes),
    )
    return Decision(outcome, posterior, sessions_each, seed, champion, challenger, probability)
