"""Python module registered as `velmorapy`."""

from collections.abc import Sequence
from typing import Literal, SupportsFloat, SupportsIndex

__all__: list[str]

_Number = SupportsFloat | SupportsIndex

def py_aggregate(signals: Sequence[tuple[str, _Number]]) -> float:
    """Weighted-mean aggregate over a list of `(kind, value)` signal tuples.

    `kind` is the string `"explicit"` or `"implicit"`.
    """

def py_posterior_probability(
    champion: Sequence[_Number],
    challenger: Sequence[_Number],
    samples: SupportsIndex,
    seed: SupportsIndex,
) -> float:
    """Monte Carlo estimate of `P(challenger > champion)`."""

def py_promotion_decision(
    champion: Sequence[_Number],
    challenger: Sequence[_Number],
    seed: SupportsIndex,
) -> tuple[Literal["promote", "hold", "need_more_data"], float, int]:
    """Full promotion decision. Returns a 3-tuple `(outcome, posterior, sessions_each)`.
    `outcome` is one of `"need_more_data"`, `"hold"`, `"promote"`.
    """
