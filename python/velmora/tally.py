"""The counts of a block of scores, read from the bit patterns of the doubles in bulk.

Counting with one comparison per score costs more than reading the score. Scores are almost
always in [0, 2), and there the two top bytes of a double settle both questions the report
asks: such a double's top byte (sign and high exponent bits) is 0x00 to 0x3F, and it is at
least 0.5 exactly when that byte is 0x3F and the next is at least 0xE0 (exponent 0x3FE or
0x3FF), at least 1 when the next is at least 0xF0. Bytes operations answer that for a whole
block at once. Any other block (a negative score, -0.0, one of 2 or more, an overflow to
infinity) is counted one score at a time.
"""

from __future__ import annotations

import math
import sys
from array import array
from itertools import repeat
from operator import ge, gt, lt

SUCCESS_THRESHOLD = 0.5  # the module's rule: a session succeeds when its score is at least this

_TOP, _NEXT = (7, 6) if sys.byteorder == "little" else (0, 1)
_BELOW_TWO = bytes(range(0x40))  # top bytes of +0.0 to just below 2.0


def _marks(selected) -> bytes:
    """A translation table that maps the selected bytes to 1 and every other byte to 0."""
    return bytes(int(selected(byte)) for byte in range(256))


_TOP_IS_3F = _marks(lambda byte: byte == 0x3F)
_AT_LEAST_HALF = _marks(lambda byte: byte >= 0xE0)
_AT_LEAST_ONE = _marks(lambda byte: byte >= 0xF0)


class Overflow(Exception):
    """A score in the block is infinite: a number too large for a double."""


def tally(scores: array) -> tuple[int, int]:
    """(successes, scores outside [0, 1]) of an array of finite or infinite doubles (no NaN).

    Raises Overflow when a score is infinite, so that the caller can name its line.
    """
    if not scores:
        return 0, 0
    raw = scores.tobytes()  # a copy, but slicing bytes by a step is far faster than a view
    top = raw[_TOP::8]
    if not top.translate(None, _BELOW_TWO):
        return _tally_below_two(scores, top, raw[_NEXT::8])
    return _tally_one_by_one(scores)


def _tally_below_two(scores: array, top: bytes, following: bytes) -> tuple[int, int]:
    # One bit per score, as a bit set in a big integer: AND and bit_count count the pairs.
    top_is_3f = _bits(top, _TOP_IS_3F)
    successes = (top_is_3f & _bits(following, _AT_LEAST_HALF)).bit_count()
    at_least_one = (top_is_3f & _bits(following, _AT_LEAST_ONE)).bit_count()
    above_one = at_least_one - scores.count(1.0) if at_least_one else 0
    return successes, above_one


def _bits(data: bytes, marks: bytes) -> int:
    return int.from_bytes(data.translate(marks), "little")


def _tally_one_by_one(scores: array) -> tuple[int, int]:
    low, high = min(scores), max(scores)
    if math.isinf(low) or math.isinf(high):
        raise Overflow
    successes = sum(map(ge, scores, repeat(SUCCESS_THRESHOLD)))
    outside = 0
    if low < 0.0 or high > 1.0:
        outside = sum(map(lt, scores, repeat(0.0))) + sum(map(gt, scores, repeat(1.0)))
    return successes, outside
