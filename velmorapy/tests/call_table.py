"""Calls of all three module functions: good ones, and bad ones that take every error path.

The leak, thread and memory-pressure tests run this one table, so a new error path added here
is checked for reference leaks, thread safety and allocation failures at once.
"""

from __future__ import annotations

import struct
import sys
import time
from dataclasses import dataclass, field
from typing import Any, Callable

import velmorapy


def fresh_text(text: str) -> str:
    """An equal string that is a new object: never interned, never immortal, so its
    reference count shows whether a call kept or dropped a reference to it."""
    return "".join(list(text))


def fresh_float(value: float) -> float:
    return struct.unpack("<d", struct.pack("<d", value))[0]


class NarrowTypeError(TypeError):
    """Passes through unchanged: only an exact TypeError gets the argument's name."""


class FloatRaises:
    def __init__(self, error: type[BaseException]):
        self.error = error

    def __float__(self):
        raise self.error("refused by __float__")


class IndexRaises:
    def __index__(self):
        raise RuntimeError("refused by __index__")


class YieldsThenRaises:
    """A sequence whose iteration fails part-way, after some items converted. Its iterator is
    a class rather than a generator: under allocation failures a generator can lose its own
    exception and end quietly, a fault of the interpreter's that no caller could detect."""

    def __init__(self, items, error: type[BaseException]):
        self.items, self.error = items, error

    def __len__(self):
        return len(self.items) + 1

    def __getitem__(self, index):
        return self.items[index]

    def __iter__(self):
        return _RaisingIterator(self.items, self.error)


class _RaisingIterator:
    def __init__(self, items, error):
        self.items, self.error, self.position = items, error, 0

    def __iter__(self):
        return self

    def __next__(self):
        if self.position == len(self.items):
            raise self.error("iteration stopped by the sequence")
        self.position += 1
        return self.items[self.position - 1]


class LyingLength:
    """A sequence whose length is only a (bad) hint: the iterated items decide the result."""

    def __init__(self, items, length: int | None):
        self.items, self.length = items, length

    def __len__(self):
        if self.length is None:
            raise RuntimeError("refused by __len__")
        return self.length

    def __getitem__(self, index):
        return self.items[index]

    def __iter__(self):
        return iter(self.items)


class YieldsTheLock:
    """A score whose conversion lets other threads run in the middle of a call."""

    def __init__(self, value: float):
        self.value = value

    def __float__(self):
        time.sleep(0)
        return self.value


class Kind(str):
    pass


class Pair(tuple):
    pass


class Seed(int):
    pass


@dataclass
class Call:
    """One call of a module function and the exception class it must raise (None: a result)."""

    label: str
    function: Callable[..., Any]
    args: tuple = ()
    kwargs: dict = field(default_factory=dict)
    raises: type[BaseException] | None = None
    heavy: bool = False  # runs the full 10000-sample decision

    def __call__(self):
        return self.function(*self.args, **self.kwargs)

    def outcome(self) -> tuple:
        """What the call gave, in a form that compares exactly (NaN equals NaN)."""
        try:
            return ("result", repr(self()))
        except Exception as error:
            return ("raised", type(error), str(error))

    def arguments(self) -> list:
        """Every object the caller passed, nested ones included."""
        found: list = []
        pending = [*self.args, *self.kwargs.values()]
        while pending:
            value = pending.pop()
            found.append(value)
            if isinstance(value, (list, tuple)):
                pending.extend(value)
            elif isinstance(value, dict):
                pending.extend(value.values())
            elif isinstance(value, (YieldsThenRaises, LyingLength)):
                pending.append(value.items)
        return found


def scores(count: int, success_every: int = 2) -> list:
    return [fresh_float(0.75 if i % success_every == 0 else 0.25) for i in range(count)]


def signals(count: int) -> list:
    kinds = (fresh_text("explicit"), fresh_text("implicit"))
    return [(kinds[i % 2], fresh_float(i / count)) for i in range(count)]


def build_calls() -> list[Call]:
    agg, post, dec = (
        velmorapy.py_aggregate,
        velmorapy.py_posterior_probability,
        velmorapy.py_promotion_decision,
    )
    seed = 2**40 + 3  # a large int: a fresh object whose reference count can be read
    return [
        # Good calls. Long lists make a leaked native copy show in the resident size.
        Call("aggregate list", agg, (signals(400),)),
        Call("aggregate tuple by keyword", agg, kwargs={"signals": tuple(signals(5))}),
        Call("aggregate empty", agg, ([],)),
        Call("aggregate subclasses and nan", agg, ([Pair((Kind("explicit"), float("nan")))],)),
        Call("posterior", post, (scores(1000), scores(800, 3), 50, seed)),
        Call("posterior keywords", post, (), {"champion": scores(3), "challenger": scores(2),
                                              "samples": 20, "seed": Seed(7)}),
        Call("posterior zero samples", post, (scores(5), scores(5), 0, True)),
        Call("posterior lying length", post, (LyingLength(scores(4), sys.maxsize), [], 10, 1)),
        Call("posterior failing length", post, (LyingLength(scores(4), None), (), 10, 1)),
        Call("posterior length overflows", post, (LyingLength(scores(4), 2**70), [], 10, 1)),
        Call("posterior lock-yielding scores", post, ([YieldsTheLock(0.9)] * 6, [0.1], 30, 2)),
        Call("decision need_more_data", dec, (scores(19), scores(1000), seed)),
        Call("decision evaluated", dec, (scores(25), scores(30, 3), 11), heavy=True),
        Call("decision keywords", dec, (), {"seed": 5, "challenger": scores(20),
                                            "champion": scores(20, 4)}, heavy=True),
        # Binding errors.
        Call("too many positional", agg, ([], []), raises=TypeError),
        Call("unexpected keyword", post, ([], [], 1), {"sed": 1}, raises=TypeError),
        Call("multiple values", dec, ([], [], 1), {"champion": []}, raises=TypeError),
        Call("missing one", dec, ([], []), raises=TypeError),
        Call("missing all", post, (), raises=TypeError),
        # Container conversions.
        Call("str as list", agg, (fresh_text("explicit"),), raises=TypeError),
        Call("int as list", post, (5, [], 1, 1), raises=TypeError),
        Call("dict as list", dec, ({"a": 1}, [], 1), raises=TypeError),
        Call("generator as list", post, ([], (x for x in ()), 1, 1), raises=TypeError),
        Call("iteration raises TypeError", dec, (YieldsThenRaises([0.5], TypeError), [], 1),
             raises=TypeError),
        Call("iteration raises ValueError", post,
             ([], YieldsThenRaises(scores(3), ValueError), 1, 1), raises=ValueError),
        # Item conversions.
        Call("score not a number", post, ([0.5, fresh_text("x")], [], 1, 1), raises=TypeError),
        Call("score too large", dec, ([10**400], [], 1), raises=OverflowError),
        Call("score __float__ raises", post, (scores(3) + [FloatRaises(ValueError)], [], 1, 1),
             raises=ValueError),
        Call("score __float__ raises TypeError subclass", dec,
             ([FloatRaises(NarrowTypeError)], [], 1), raises=NarrowTypeError),
        Call("signal not a tuple", agg, (signals(3) + [[fresh_text("explicit"), 1.0]],),
             raises=TypeError),
        Call("signal of three", agg, ([(fresh_text("explicit"), 1.0, 2.0)],), raises=ValueError),
        Call("kind not a str", agg, ([(b"explicit", 1.0)],), raises=TypeError),
        Call("kind with a lone surrogate", agg, ([("\ud800", 1.0)],), raises=UnicodeEncodeError),
        Call("signal value not a number", agg, ([(fresh_text("implicit"), None)],),
             raises=TypeError),
        Call("unknown kind", agg, (signals(10) + [(fresh_text("Explicit"), 1.0)],),
             raises=ValueError),
        # Integer conversions.
        Call("negative seed", dec, ([], [], -1), raises=OverflowError),
        Call("seed of 2**64", post, ([], [], 1, 2**64), raises=OverflowError),
        Call("float seed", dec, ([], [], 1.0), raises=TypeError),
        Call("seed __index__ raises", post, ([], [], 1, IndexRaises()), raises=RuntimeError),
        Call("samples of 2**32", post, ([], [], 2**32, 1), raises=OverflowError),
        Call("negative samples", post, ([], [], -1, 1), raises=OverflowError),
        Call("str samples", post, ([], [], fresh_text("1"), 1), raises=TypeError),
    ]


def is_panic(error: BaseException) -> bool:
    return type(error).__name__ == "PanicException"
