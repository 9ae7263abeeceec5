"""py_aggregate: weighted mean of explicit and implicit signals."""

import collections
import math

import pytest

import velmorapy

Pair = collections.namedtuple("Pair", "kind value")


@pytest.mark.parametrize(
    "signals, expected",
    [
        ([], 0.5),
        ([("explicit", 1.0), ("implicit", 0.0)], 0.8333333333333334),
        ([("explicit", 0.0), ("implicit", 1.0)], 0.16666666666666666),
        # Summed in list order in double arithmetic: 2.8 / 7 rounds below 0.4.
        ([("explicit", 0.2), ("implicit", 0.9), ("implicit", 0.9)], 0.39999999999999997),
        ([("implicit", 2.0)], 1.0),
        ([("explicit", -3.0)], 0.0),
        ([("explicit", float("inf")), ("implicit", float("-inf"))], 0.8333333333333334),
        ((("explicit", 1.0), ("implicit", 0.0)), 0.8333333333333334),
        ([Pair("explicit", 1), Pair("implicit", 0)], 0.8333333333333334),
        ([("explicit", True)], 1.0),
        ([("implicit", -1.0)], 0.0),  # a genuine -1.0 is a value, not an error marker
    ],
)
def test_aggregate_values(signals, expected):
    result = velmorapy.py_aggregate(signals)
    assert type(result) is float
    assert result == expected


@pytest.mark.parametrize(
    "signals",
    [[("explicit", float("nan"))], [("implicit", 0.3), ("explicit", float("nan")), ("implicit", 1.0)]],
)
def test_nan_flows_through(signals):
    assert math.isnan(velmorapy.py_aggregate(signals))


def test_keyword_and_positional_agree():
    signals = [("explicit", 0.25), ("implicit", 0.75)]
    assert velmorapy.py_aggregate(signals=signals) == velmorapy.py_aggregate(signals)


@pytest.mark.parametrize(
    "signals, message",
    [
        ([("Explicit", 1.0)], "unknown kind: Explicit"),
        ([("explicit", 1.0), ("bogus", 0.5), ("nope", 0.5)], "unknown kind: bogus"),
        ([("", 0.5)], "unknown kind: "),
        ([(" explicit", 0.5)], "unknown kind:  explicit"),
        ([("explicitly", 0.5)], "unknown kind: explicitly"),
        ([("implicit\x00", 0.5)], "unknown kind: implicit\x00"),
        ([("ünknown 'q'", 0.5)], "unknown kind: ünknown 'q'"),
    ],
)
def test_unknown_kind_names_the_first_offender_verbatim(signals, message):
    with pytest.raises(ValueError) as caught:
        velmorapy.py_aggregate(signals)
    assert type(caught.value) is ValueError
    assert caught.value.args == (message,)


def test_conversion_of_the_whole_list_comes_before_kinds():
    with pytest.raises(TypeError, match=r"^argument 'signals': must be real number, not str$"):
        velmorapy.py_aggregate([("bogus", 0.5), ("explicit", "x")])


def test_a_failed_call_leaves_the_next_unaffected():
    with pytest.raises(ValueError):
        velmorapy.py_aggregate([("bogus", 1.0)])
    assert velmorapy.py_aggregate([("explicit", 1.0)]) == 1.0
