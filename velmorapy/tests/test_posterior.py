"""py_posterior_probability: worked results, known-good vectors, counting rules, arguments."""

import inspect
import math

import pytest

import velmorapy
from score_vectors import arm, posterior_vectors, same_float

estimate = velmorapy.py_posterior_probability
NAN = float("nan")


@pytest.mark.parametrize(
    ("champion", "challenger", "samples", "seed", "expected"),
    [
        ([0.9, 0.2, 0.7, 0.6], [0.1, 0.8], 200, 0, 0.24),
        ([], [], 50, 1, 0.6),
        ([0.7] * 12 + [0.1] * 8, [0.7] * 15 + [0.1] * 5, 500, 123, 0.838),
        ([1.0] * 10, [0.0] * 10, 100, 7, 0.0),
        ([0.0] * 10, [1.0] * 10, 100, 7, 1.0),
        ([0.5, NAN], [0.5, 0.5], 100, 9, 0.82),
    ],
)
def test_worked_results(champion, challenger, samples, seed, expected):
    assert estimate(champion, challenger, samples, seed) == expected


def test_every_known_good_vector():
    vectors = posterior_vectors()
    assert len(vectors) > 200
    mismatches = [
        (len(champion), len(challenger), samples, seed)
        for champion, challenger, samples, seed, expected in vectors
        if not same_float(estimate(champion, challenger, samples, seed), expected)
    ]
    assert mismatches == []


def test_same_arguments_same_result():
    args = (arm(30, 21), arm(40, 12), 3000, 2**64 - 1)
    assert estimate(*args) == estimate(*args)


# Only the success count matters: each score must land on the side the threshold puts it.
@pytest.mark.parametrize(
    ("score", "same_as"),
    [(0.5, 1.0), (0.49999999999999994, 0.0), (NAN, 0.0), (float("inf"), 1.0),
     (float("-inf"), 0.0), (-0.0, 0.0), (7, 1.0)],
)
def test_score_counts_on_the_side_of_the_threshold(score, same_as):
    for champion_side in (True, False):
        scored, reference = ([score, 0.9, 0.1], [same_as, 0.9, 0.1])
        if champion_side:
            assert estimate(scored, [0.6], 400, 3) == estimate(reference, [0.6], 400, 3)
        else:
            assert estimate([0.6], scored, 400, 3) == estimate([0.6], reference, 400, 3)


def test_order_of_scores_does_not_matter():
    assert estimate([0.1, 0.9, 0.2, 0.8], [0.3], 500, 4) == estimate([0.9, 0.8, 0.1, 0.2], [0.3], 500, 4)


def test_zero_samples_give_nan_and_one_sample_a_whole_answer():
    assert math.isnan(estimate([0.9], [0.1], 0, 5))
    assert {estimate(arm(3, 3), arm(3, 3), 1, seed) for seed in range(40)} == {0.0, 1.0}


def test_swapping_the_arms_is_not_one_minus_the_estimate():
    # The champion draws first, so a swap feeds the samplers different words.
    forward = estimate(arm(5, 5), arm(6, 4), 1000, 17)
    backward = estimate(arm(6, 4), arm(5, 5), 1000, 17)
    assert forward + backward != 1.0
    assert abs(forward + backward - 1.0) < 0.1


@pytest.mark.parametrize(
    "champion",
    [(0.7, 0.1, 0.9), range(0, 3), b"\x00\x01\x00", [0, 1, 0]],
    ids=["tuple", "range", "bytes", "ints"],
)
def test_any_sequence_of_numbers_is_accepted(champion):
    as_floats = [float(score) for score in champion]
    assert estimate(champion, [0.5], 300, 6) == estimate(as_floats, [0.5], 300, 6)


def test_keywords_in_any_order():
    by_keyword = estimate(seed=1, samples=10, challenger=[0.9], champion=[0.1])
    assert by_keyword == estimate([0.1], [0.9], 10, 1)


def test_extreme_seeds_and_bool():
    assert estimate([0.6], [0.4], 100, True) == estimate([0.6], [0.4], 100, 1)
    assert 0.0 <= estimate([0.6], [0.4], 100, 2**64 - 1) <= 1.0


class RaisingFloat:
    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error


class TypeErrorSubclass(TypeError):
    pass


@pytest.mark.parametrize(
    ("args", "error", "message"),
    [
        (("x", [], 10, 1), TypeError, "argument 'champion': Can't extract `str` to `list`"),
        (([], "x", 10, 1), TypeError, "argument 'challenger': Can't extract `str` to `list`"),
        ((5, [], 10, 1), TypeError,
         "argument 'champion': 'int' object cannot be converted to 'Sequence'"),
        (([], {1: 2}, 10, 1), TypeError,
         "argument 'challenger': 'dict' object cannot be converted to 'Sequence'"),
        (([0.5, "a"], [], 10, 1), TypeError, "argument 'champion': must be real number, not str"),
        (([10**400], [], 10, 1), OverflowError, "int too large to convert to float"),
        (([], [], 2**32, 1), OverflowError, "out of range integral type conversion attempted"),
        (([], [], -1, 1), OverflowError, "can't convert negative int to unsigned"),
        (([], [], 10, -1), OverflowError, "can't convert negative int to unsigned"),
        (([], [], 10, 2**64), OverflowError, "int too big to convert"),
        (([], [], 10.0, 1), TypeError,
         "argument 'samples': 'float' object cannot be interpreted as an integer"),
        (([], [], 10, 1.0), TypeError,
         "argument 'seed': 'float' object cannot be interpreted as an integer"),
        # The first bad argument in parameter order is the one reported.
        (("x", [], -1, 1.5), TypeError, "argument 'champion': Can't extract `str` to `list`"),
        (([], [], 2**32 - 1, -1), OverflowError, "can't convert negative int to unsigned"),
        ((), TypeError, "py_posterior_probability() missing 4 required positional arguments: "
         "'champion', 'challenger', 'samples', and 'seed'"),
        (([1.0], [0.0]), TypeError, "py_posterior_probability() missing 2 required positional "
         "arguments: 'samples' and 'seed'"),
        (([], [], 1, 2, 3), TypeError,
         "py_posterior_probability() takes 4 positional arguments but 5 were given"),
    ],
)
def test_argument_errors(args, error, message):
    with pytest.raises(error) as raised:
        estimate(*args)
    assert type(raised.value) is error
    assert str(raised.value) == message


def test_a_converters_own_exception_comes_back_unchanged():
    value_error = ValueError("no float here")
    with pytest.raises(ValueError) as raised:
        estimate([RaisingFloat(value_error)], [], 10, 1)
    assert raised.value is value_error
    # A subclass of TypeError is not re-labelled with the argument's name.
    with pytest.raises(TypeErrorSubclass, match="^own$"):
        estimate([], [RaisingFloat(TypeErrorSubclass("own"))], 10, 1)


def test_signature_and_docstring():
    assert str(inspect.signature(estimate)) == "(champion, challenger, samples, seed)"
    assert estimate.__doc__ == "Monte Carlo estimate of `P(challenger > champion)`."
    assert velmorapy.__all__.index("py_posterior_probability") == 1


# Posterior parameters are counts plus 1, so only the test-only probe can reach the check.
@pytest.mark.parametrize(
    ("shapes", "message"),
    [((0.0, 1.0), "valid Beta params: AlphaTooSmall"),
     ((-1.0, 0.0), "valid Beta params: AlphaTooSmall"),
     ((1.0, NAN), "valid Beta params: BetaTooSmall")],
)
def test_rejected_beta_parameter_is_an_internal_failure(probe, shapes, message):
    with pytest.raises(BaseException) as raised:
        probe.checked_beta_sampler(*shapes)
    assert type(raised.value).__name__ == "PanicException"
    assert raised.value.args == (message,)
    assert probe.checked_beta_sampler(1.0, 1.0) is None


def test_rejected_beta_parameter_report_names_the_promotion_source(python_process):
    result = python_process(
        """
        import _velmorapy_probe as probe
        try:
            probe.checked_beta_sampler(0.0, 2.0)
        except BaseException as panic:
            print(type(panic).__name__, panic)
        """,
        with_probe=True,
    )
    assert result.stdout == "PanicException valid Beta params: AlphaTooSmall\n"
    lines = result.stderr.splitlines()
    assert lines[1].startswith("thread '<unnamed>' (")
    assert "promotion/posterior_probability.cpp:" in lines[1]
    assert lines[2] == "valid Beta params: AlphaTooSmall"
