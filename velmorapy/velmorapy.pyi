"""Python module registered as `velmorapy`."""

from collections.abc import Iterator, Sequence
from typing import Any, Literal, Protocol, SupportsFloat, SupportsIndex

__all__ = ["py_aggregate", "py_posterior_probability", "py_promotion_decision"]

_Number = SupportsFloat | SupportsIndex

class _ScoreArray(Protocol):
    """A one-dimensional array of numbers such as a `numpy.ndarray`, typed without numpy."""

    @property
    def __array_interface__(self) -> dict[str, Any]: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[Any]: ...

# bytes, bytearray, memoryview and array.array are sequences of numbers already.
_Scores = Sequence[_Number] | _ScoreArray

def py_aggregate(signals: Sequence[tuple[Literal["explicit", "implicit"], _Number]]) -> float:
    """Weighted-mean aggregate over a list of `(kind, value)` signal tuples.

    `kind` is the string `"explicit"` or `"implicit"`.
    """

def py_posterior_probability(
    champion: _Scores,
    challenger: _Scores,
    samples: SupportsIndex,
    seed: SupportsIndex,
) -> float:
    """Monte Carlo estimate of `P(challenger > champion)`."""

def py_promotion_decision(
    champion: _Scores,
    challenger: _Scores,
    seed: SupportsIndex,
) -> tuple[Literal["promote", "hold", "need_more_data"], float, int]:
    """Full promotion decision. Returns a 3-tuple `(outcome, posterior, sessions_each)`.
    `outcome` is one of `"need_more_data"`, `"hold"`, `"promote"`.
    """
