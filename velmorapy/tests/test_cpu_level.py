"""The level the dispatcher picks on a processor whose widest level is known.

scripts/test-x86-levels.sh runs this under emulated processors of real models, each with one
level and nothing wider, and names that level in VELMORAPY_EXPECTED_LEVEL. Without the variable
there is nothing to compare against, and the tests are skipped.
"""

import os

import pytest

EXPECTED_LEVEL_VARIABLE = "VELMORAPY_EXPECTED_LEVEL"


@pytest.fixture
def expected_level():
    level = os.environ.get(EXPECTED_LEVEL_VARIABLE)
    if not level:
        pytest.skip(f"{EXPECTED_LEVEL_VARIABLE} is unset: set by scripts/test-x86-levels.sh")
    return level


def test_the_widest_level_of_the_processor_is_picked(probe, expected_level):
    names, active = probe.cpu_levels()
    assert expected_level in names
    assert active == expected_level


def test_every_level_up_to_the_picked_one_runs_and_none_beyond(probe, expected_level):
    names, _ = probe.cpu_levels()
    arms = ((3.0, 2.0), (2.0, 3.0))
    runnable = [name for name in names if probe.count_wins(*arms, 100, 1, name) is not None]
    assert runnable == names[: names.index(expected_level) + 1]
