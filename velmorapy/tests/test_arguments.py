"""Argument binding and conversion: the messages a caller sees for a wrong call."""

import sys

import pytest

import velmorapy

agg = velmorapy.py_aggregate


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "py_aggregate() missing 1 required positional argument: 'signals'"),
        (([], []), {}, "py_aggregate() takes 1 positional arguments but 2 were given"),
        # The positional count is checked before any keyword.
        (([], []), {"bogus": 1}, "py_aggregate() takes 1 positional arguments but 2 were given"),
        (([],), {"signals": []}, "py_aggregate() got multiple values for argument 'signals'"),
        ((), {"signal": []}, "py_aggregate() got an unexpected keyword argument 'signal'"),
        ((), {"Signals": []}, "py_aggregate() got an unexpected keyword argument 'Signals'"),
        ((), {"sign\udc80als": []}, "py_aggregate() got an unexpected keyword argument 'sign\ufffd\ufffd\ufffdals'"),
    ],
)
def test_binding_errors(args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        agg(*args, **kwargs)
    assert type(caught.value) is TypeError
    assert caught.value.args == (message,)


class Floaty:
    def __init__(self, raise_=None, value=0.25):
        self.raise_, self.value = raise_, value

    def __float__(self):
        if self.raise_ is not None:
            raise self.raise_
        return self.value


class Endless:
    """A sequence whose __len__ claims far more than it yields."""

    def __init__(self, length, items):
        self.length, self.items = length, items

    def __len__(self):
        return self.length

    def __getitem__(self, index):
        return self.items[index]


class BadLen(Endless):
    def __len__(self):
        raise RuntimeError("no length")


@pytest.mark.parametrize(
    "signals, error, message",
    [
        ("explicit", TypeError, "argument 'signals': Can't extract `str` to `list`"),
        (5, TypeError, "argument 'signals': 'int' object cannot be converted to 'Sequence'"),
        (None, TypeError, "argument 'signals': 'NoneType' object cannot be converted to 'Sequence'"),
        ({}, TypeError, "argument 'signals': 'dict' object cannot be converted to 'Sequence'"),
        (set(), TypeError, "argument 'signals': 'set' object cannot be converted to 'Sequence'"),
        ((x for x in ()), TypeError, "argument 'signals': 'generator' object cannot be converted to 'Sequence'"),
        ([["explicit", 1.0]], TypeError, "argument 'signals': 'list' object cannot be converted to 'PyTuple'"),
        ([Floaty()], TypeError, "argument 'signals': 'Floaty' object cannot be converted to 'PyTuple'"),
        ([("explicit", 1.0, 2.0)], ValueError, "expected tuple of length 2, but got tuple of length 3"),
        ([()], ValueError, "expected tuple of length 2, but got tuple of length 0"),
        ([(1, 1.0)], TypeError, "argument 'signals': 'int' object cannot be converted to 'PyString'"),
        ([(b"explicit", 1.0)], TypeError, "argument 'signals': 'bytes' object cannot be converted to 'PyString'"),
        ([("explicit", "x")], TypeError, "argument 'signals': must be real number, not str"),
        ([("explicit", None)], TypeError, "argument 'signals': must be real number, not NoneType"),
        ([("explicit", 10**400)], OverflowError, "int too large to convert to float"),
        ([("explicit", Floaty(ValueError("mine")))], ValueError, "mine"),
        ([("explicit", Floaty(TypeError("plain")))], TypeError, "argument 'signals': plain"),
        (BadLen(0, [("explicit", "x")]), TypeError, "argument 'signals': must be real number, not str"),
    ],
)
def test_conversion_errors(signals, error, message):
    with pytest.raises(BaseException) as caught:
        agg(signals)
    assert type(caught.value) is error
    assert str(caught.value) == message


@pytest.mark.parametrize("qualname", [42, RuntimeError("unreadable")])
def test_an_unusable_qualname_gives_the_fallback_name(qualname):
    class Meta(type):
        def __getattribute__(cls, name):
            if name == "__qualname__":
                if isinstance(qualname, BaseException):
                    raise qualname
                return qualname
            return super().__getattribute__(name)

    weird = Meta("Weird", (), {})()
    with pytest.raises(TypeError) as caught:
        agg([weird])
    assert str(caught.value) == (
        "argument 'signals': '<failed to extract type name>' object cannot be converted to 'PyTuple'"
    )


def test_nested_class_names_use_the_qualname():
    class Outer:
        class Inner:
            pass

    with pytest.raises(TypeError, match=r"'test_nested_class_names_use_the_qualname.<locals>.Outer.Inner' object"):
        agg([Outer.Inner()])


def test_a_lone_surrogate_kind_passes_the_interpreters_error_unprefixed():
    with pytest.raises(UnicodeEncodeError):
        agg([("\udc80", 1.0)])


def test_a_callers_exception_comes_back_as_the_very_same_object():
    mine = ValueError("from __float__")
    with pytest.raises(ValueError) as caught:
        agg([("explicit", Floaty(mine))])
    assert caught.value is mine
    assert caught.value.__traceback__ is not None


def test_a_typeerror_subclass_is_not_prefixed():
    class MyTypeError(TypeError):
        pass

    mine = MyTypeError("sub")
    with pytest.raises(MyTypeError) as caught:
        agg([("explicit", Floaty(mine))])
    assert caught.value is mine


@pytest.mark.parametrize("with_cause", [True, False])
def test_prefixed_typeerror_keeps_the_cause_and_drops_the_original(with_cause):
    cause = KeyError("root")

    class Chained:
        def __float__(self):
            if with_cause:
                raise TypeError("inner") from cause
            raise TypeError("inner")

    with pytest.raises(TypeError) as caught:
        agg([("explicit", Chained())])
    error = caught.value
    assert str(error) == "argument 'signals': inner"
    assert error.__cause__ is (cause if with_cause else None)
    assert error.__suppress_context__ is True


def test_an_exact_typeerror_with_an_unprintable_message_still_gets_a_prefix():
    class Unprintable:
        def __str__(self):
            raise RuntimeError("no str")

    seen = []
    hook, sys.unraisablehook = sys.unraisablehook, seen.append
    try:
        with pytest.raises(TypeError) as caught:
            agg([("explicit", Floaty(TypeError(Unprintable())))])
    finally:
        sys.unraisablehook = hook
    assert str(caught.value) == "argument 'signals': <unprintable TypeError object>"
    assert [type(s.exc_value) for s in seen] == [RuntimeError]


@pytest.mark.parametrize(
    "signals",
    [
        Endless(2**62, [("explicit", 1.0), ("implicit", 0.0)]),
        Endless(0, [("explicit", 1.0), ("implicit", 0.0)]),
        BadLen(0, [("explicit", 1.0), ("implicit", 0.0)]),
        [("explicit", 1.0), ("implicit", 0.0)],
    ],
)
def test_the_reported_length_is_only_a_hint(signals):
    assert agg(signals) == 0.8333333333333334


def test_an_iteration_error_midway_is_reported():
    class Broken:
        def __len__(self):
            return 3

        def __getitem__(self, index):
            raise AssertionError("iteration goes through __iter__")

        def __iter__(self):
            yield ("explicit", 1.0)
            raise LookupError("stopped")

    with pytest.raises(LookupError, match="^stopped$"):
        agg(Broken())


def test_arguments_are_not_leaked():
    value = Floaty(value=0.5)
    pair = ("explicit", value)
    signals = [pair]
    before = sys.getrefcount(value), sys.getrefcount(pair), sys.getrefcount(signals)
    for _ in range(200):
        agg(signals)
        with pytest.raises(ValueError):
            agg([pair, ("bogus", value)])
        with pytest.raises(TypeError):
            agg([pair, ("explicit", "x")])
    assert (sys.getrefcount(value), sys.getrefcount(pair), sys.getrefcount(signals)) == before
