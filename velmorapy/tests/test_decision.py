"""py_promotion_decision: the rule, its worked results and vectors, and its arguments."""

import inspect

import pytest

import velmorapy
from score_vectors import arm, decision_vectors

decide = velmorapy.py_promotion_decision


@pytest.mark.parametrize(
    ("champion", "challenger", "seed", "expected"),
    [
        ([], [], 0, ("need_more_data", 0.0, 0)),
        (arm(19, 0), arm(600, 400), 1, ("need_more_data", 0.0, 19)),
        (arm(500, 500), arm(0, 19), 1, ("need_more_data", 0.0, 19)),
        (arm(12, 8), arm(15, 5), 123, ("hold", 0.838, 20)),
        (arm(10, 10), arm(18, 2), 5, ("promote", 0.9963, 20)),
        (arm(10, 10), arm(16, 4), 5, ("promote", 0.9738, 20)),
        ([0.6] * 25, [0.4] * 30, 11, ("hold", 0.0, 25)),
    ],
)
def test_worked_results(champion, challenger, seed, expected):
    assert decide(champion, challenger, seed) == expected


def test_every_known_good_vector():
    vectors = decision_vectors()
    assert len(vectors) > 30
    mismatches = [
        (len(champion), len(challenger), seed)
        for champion, challenger, seed, expected in vectors
        if decide(champion, challenger, seed) != expected
    ]
    assert mismatches == []


@pytest.mark.parametrize(
    ("champion", "challenger", "seed"),
    [(arm(20, 0), arm(0, 20), 0), (arm(13, 9), arm(30, 5), 3), (arm(40, 40), arm(41, 39), 2**63),
     ([0.5, float("nan")] * 15, [0.49, 0.51] * 12, 77)],
)
def test_posterior_is_the_estimate_with_10000_samples(champion, challenger, seed):
    outcome, posterior, sessions_each = decide(champion, challenger, seed)
    assert posterior == velmorapy.py_posterior_probability(champion, challenger, 10000, seed)
    assert outcome == ("promote" if posterior >= 0.95 else "hold")
    assert sessions_each == min(len(champion), len(challenger))


def test_result_types_are_exact():
    result = decide(arm(20, 15), arm(11, 9), 4)
    assert type(result) is tuple
    assert [type(item) for item in result] == [str, float, int]
    assert result[2] == 20


def test_same_arguments_same_result():
    assert decide(arm(21, 9), arm(25, 5), 99) == decide(arm(21, 9), arm(25, 5), 99)


def test_an_invalid_seed_is_reported_even_when_the_lists_are_short():
    with pytest.raises(OverflowError):
        decide([], [], -1)


@pytest.mark.parametrize(
    ("args", "kwargs", "error", "message"),
    [
        (("x", [], 1), {}, TypeError, "argument 'champion': Can't extract `str` to `list`"),
        (([], None, 1), {}, TypeError,
         "argument 'challenger': 'NoneType' object cannot be converted to 'Sequence'"),
        (([], [], "1"), {}, TypeError,
         "argument 'seed': 'str' object cannot be interpreted as an integer"),
        (([], [], 2**64), {}, OverflowError, "int too big to convert"),
        (([], [], 1, 2), {}, TypeError,
         "py_promotion_decision() takes 3 positional arguments but 4 were given"),
        (([], [], 1, 2), {"bogus": 1}, TypeError,
         "py_promotion_decision() takes 3 positional arguments but 4 were given"),
        (([], []), {"samples": 1}, TypeError,
         "py_promotion_decision() got an unexpected keyword argument 'samples'"),
        (([], []), {"champion": []}, TypeError,
         "py_promotion_decision() got multiple values for argument 'champion'"),
        (([],), {}, TypeError, "py_promotion_decision() missing 2 required positional arguments: "
         "'challenger' and 'seed'"),
    ],
)
def test_argument_errors(args, kwargs, error, message):
    with pytest.raises(error) as raised:
        decide(*args, **kwargs)
    assert type(raised.value) is error
    assert str(raised.value) == message


def test_keywords_and_other_sequences():
    assert decide(seed=5, challenger=tuple(arm(18, 2)), champion=arm(10, 10)) == (
        "promote", 0.9963, 20)


def test_signature_and_docstring():
    assert str(inspect.signature(decide)) == "(champion, challenger, seed)"
    assert decide.__doc__ == (
        "Full promotion decision. Returns a 3-tuple `(outcome, posterior, sessions_each)`.\n"
        '`outcome` is one of `"need_more_data"`, `"hold"`, `"promote"`.'
    )
    assert velmorapy.__all__ == ["py_aggregate", "py_posterior_probability",
                                 "py_promotion_decision"]
