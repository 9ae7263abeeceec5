"""The estimate is statistically right, not only reproducible.

For whole-number Beta parameters P(challenger > champion) has an exact closed form; the Monte
Carlo estimate must agree with it to within sampling error. A sampler that stays deterministic
but draws from a skewed distribution shifts the estimate and fails here.
"""

import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from scipy import integrate, stats

import velmorapy
from score_vectors import arm

# The mass of a normal distribution within 5 standard deviations of its mean. The number of
# wins is binomial; its central interval of this mass is "within 5 standard errors", made exact
# for the lopsided cases where the normal approximation fails (a handful of expected wins).
FIVE_SIGMA_MASS = math.erf(5 / math.sqrt(2))


def exact_probability(champion_a, champion_b, challenger_a, challenger_b):
    """P(Y > X) for X ~ Beta(champion_a, champion_b), Y ~ Beta(challenger_a, challenger_b)."""
    # Summing for the smaller of P(Y > X) and P(X > Y) keeps the rounding of thousands of terms
    # relative to that small value; ties have probability 0.
    forward = _probability_greater(champion_a, champion_b, challenger_a, challenger_b)
    if forward <= 0.5:
        return forward
    return 1.0 - _probability_greater(challenger_a, challenger_b, champion_a, champion_b)


def _probability_greater(champion_a, champion_b, challenger_a, challenger_b):
    """The closed form for whole-number parameters: the sum over i < challenger_a of
    B(champion_a + i, champion_b + challenger_b)
      / ((challenger_b + i) B(1 + i, challenger_b) B(champion_a, champion_b)),
    each term taken in logarithms.
    """
    log_champion = _log_beta(champion_a, champion_b)
    terms = (
        math.exp(_log_beta(champion_a + i, champion_b + challenger_b)
                 - math.log(challenger_b + i)
                 - _log_beta(1 + i, challenger_b)
                 - log_champion)
        for i in range(challenger_a)
    )
    return math.fsum(terms)


def _log_beta(a, b):
    return math.lgamma(a) + math.lgamma(b) - math.lgamma(a + b)


def assert_consistent(estimate, probability, samples, label):
    wins = round(estimate * samples)
    low, high = stats.binom.interval(FIVE_SIGMA_MASS, samples, probability)
    standard_error = math.sqrt(probability * (1 - probability) / samples)
    assert low <= wins <= high, (
        f"{label}: estimate {estimate} vs exact {probability:.6f} "
        f"({(estimate - probability) / standard_error if standard_error else math.inf:+.1f} "
        f"standard errors, {samples} samples)"
    )


@pytest.mark.parametrize(
    "params", [(1, 1, 1, 1), (12, 9, 16, 6), (3, 1, 1, 5), (40, 2, 2, 40), (7, 7, 7, 8)]
)
def test_closed_form_agrees_with_numerical_integration(params):
    champion_a, champion_b, challenger_a, challenger_b = params
    by_integration, _ = integrate.quad(
        lambda x: stats.beta.pdf(x, champion_a, champion_b)
        * stats.beta.sf(x, challenger_a, challenger_b),
        0, 1, epsabs=1e-13, limit=200,
    )
    assert exact_probability(*params) == pytest.approx(by_integration, abs=1e-9)


counts = st.integers(0, 40) | st.integers(0, 3000)


@settings(max_examples=150, deadline=None)
@given(sc=counts, fc=counts, sh=counts, fh=counts, seed=st.integers(0, 2**64 - 1))
def test_estimate_within_five_standard_errors(sc, fc, sh, fh, seed):
    samples = 50_000
    estimate = velmorapy.py_posterior_probability(arm(sc, fc), arm(sh, fh), samples, seed)
    probability = exact_probability(sc + 1, fc + 1, sh + 1, fh + 1)
    assert_consistent(estimate, probability, samples, f"Beta({sc + 1}, {fc + 1}) vs "
                                                      f"Beta({sh + 1}, {fh + 1})")


# A million samples resolve a shift of about 0.003 even at P = 0.5. Both orders of the shapes
# appear, since the sampler maps its draw to the result differently for each.
@pytest.mark.parametrize(
    ("champion", "challenger"),
    [((11, 9), (16, 6)), ((9, 11), (6, 16)), ((1, 1), (1, 1)), ((5001, 5001), (5101, 4901)),
     ((20, 40), (23, 38)), ((1, 30), (2, 30)), ((30, 1), (30, 2))],
)
def test_large_sample_estimate(champion, challenger):
    samples = 1_000_000
    estimate = velmorapy.py_posterior_probability(
        arm(champion[0] - 1, champion[1] - 1), arm(challenger[0] - 1, challenger[1] - 1),
        samples, 2024)
    probability = exact_probability(*champion, *challenger)
    assert_consistent(estimate, probability, samples, f"Beta{champion} vs Beta{challenger}")
