"""The batched Monte Carlo loop against the reference loop, through the test-only probe.

Both loops run on the same generator stream; the batched one must give the same win count and
leave the generator at the same word, for every kernel variant this processor can run.
"""

import platform

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import velmorapy

# Session counts that exercise both algorithms (a count of 0 gives a shape of exactly 1, BC), equal
# arms, certain arms and counts far beyond what a list could hold.
counts = st.one_of(
    st.sampled_from([0, 1, 2, 19, 20]),
    st.integers(0, 200),
    st.integers(0, 2**32 - 1),
    st.integers(0, 2**53),
)
arms = st.tuples(counts, counts).map(lambda arm: (arm[0] + 1.0, arm[1] + 1.0))
sample_counts = st.one_of(st.sampled_from([0, 1, 2, 3, 7, 65]), st.integers(0, 100_000))
seeds = st.integers(0, 2**64 - 1)
slow = [HealthCheck.too_slow]
# Every kernel table row, in the probe's order; the x86 ones are skipped on aarch64 and neon on x86.
LEVELS = ["scalar", "sse2", "ssse3", "sse4.1", "avx", "avx2", "avx512", "neon"]


@settings(max_examples=150, deadline=None, suppress_health_check=slow)
@given(champion=arms, challenger=arms, samples=sample_counts, seed=seeds)
def test_active_kernels_match_the_reference(probe, champion, challenger, samples, seed):
    _, active = probe.cpu_levels()
    expected = probe.count_wins(champion, challenger, samples, seed, "reference")
    assert probe.count_wins(champion, challenger, samples, seed, active) == expected


@settings(max_examples=100, deadline=None, suppress_health_check=slow)
@given(arm=arms, samples=sample_counts, seed=seeds)
def test_equal_arms_match_the_reference(probe, arm, samples, seed):
    _, active = probe.cpu_levels()
    expected = probe.count_wins(arm, arm, samples, seed, "reference")
    assert probe.count_wins(arm, arm, samples, seed, active) == expected


@pytest.mark.parametrize("level", LEVELS)
@settings(max_examples=25, deadline=None, suppress_health_check=slow)
@given(champion=arms, challenger=arms, samples=st.integers(0, 5000), seed=seeds)
def test_every_variant_matches_the_reference(probe, level, champion, challenger, samples, seed):
    result = probe.count_wins(champion, challenger, samples, seed, level)
    if result is None:
        pytest.skip(f"this processor cannot run the {level} variant")
    assert result == probe.count_wins(champion, challenger, samples, seed, "reference")


def test_level_names_cover_the_active_level(probe):
    names, active = probe.cpu_levels()
    assert names == LEVELS
    assert active in names
    if platform.machine() in ("aarch64", "arm64"):
        assert active == "neon"


# The shipped module against the reference loop run on the same posteriors: the whole call,
# conversion and interruption chunks included, gives the reference's wins / samples.
@settings(max_examples=60, deadline=None, suppress_health_check=slow)
@given(
    champion=st.tuples(st.integers(0, 60), st.integers(0, 60)),
    challenger=st.tuples(st.integers(0, 60), st.integers(0, 60)),
    samples=st.one_of(st.integers(1, 3000), st.sampled_from([65_535, 65_536, 65_537, 140_000])),
    seed=seeds,
)
def test_module_estimate_matches_the_reference(probe, champion, challenger, samples, seed):
    def scores(arm):
        successes, failures = arm
        return [0.75] * successes + [0.25] * failures

    def shapes(arm):
        return (arm[0] + 1.0, arm[1] + 1.0)

    wins, _ = probe.count_wins(shapes(champion), shapes(challenger), samples, seed, "reference")
    estimate = velmorapy.py_posterior_probability(scores(champion), scores(challenger), samples, seed)
    assert estimate == wins / samples
