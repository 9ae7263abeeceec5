"""Arbitrary input never crashes py_aggregate: a float in [0, 1] or NaN, or an ordinary error."""

import math

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import velmorapy


class Hostile:
    """An object whose protocol methods raise or return the wrong type."""

    def __init__(self, behaviour):
        self.behaviour = behaviour

    def _act(self, good):
        if self.behaviour == "raise":
            raise RuntimeError("hostile")
        if self.behaviour == "wrong":
            return "not the right type"
        return good

    def __float__(self):
        return self._act(0.5)

    def __index__(self):
        return self._act(1)

    def __len__(self):
        return self._act(1)

    def __getitem__(self, index):
        if index > 0:
            raise IndexError
        return self._act(("explicit", 1.0))

    def __iter__(self):
        return self._act(iter([("implicit", 0.0)]))

    def __str__(self):
        return self._act("hostile")


scalars = st.one_of(
    st.none(),
    st.booleans(),
    st.integers(min_value=-(2**2000), max_value=2**2000),
    st.floats(allow_nan=True, allow_infinity=True),
    st.text(max_size=10),
    st.sampled_from(["explicit", "implicit", "\ud800", "Explicit", ""]),
    st.binary(max_size=8),
    st.sampled_from(["raise", "wrong", "fine"]).map(Hostile),
)
objects = st.recursive(
    scalars,
    lambda children: st.one_of(
        st.lists(children, max_size=5),
        st.lists(children, max_size=5).map(tuple),
        st.tuples(st.sampled_from(["explicit", "implicit", "other"]), children),
        st.dictionaries(st.text(max_size=3), children, max_size=3),
        st.frozensets(st.integers(), max_size=3),
    ),
    max_leaves=12,
)


@settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(objects)
def test_arbitrary_input_is_handled(signals):
    try:
        result = velmorapy.py_aggregate(signals)
    except Exception:
        return
    assert type(result) is float
    assert math.isnan(result) or 0.0 <= result <= 1.0


@settings(max_examples=200, deadline=None)
@given(st.lists(st.tuples(st.sampled_from(["explicit", "implicit"]), st.floats()), max_size=20))
def test_well_formed_lists_match_the_weighted_mean(signals):
    clamp = lambda x: x if math.isnan(x) else min(max(x, 0.0), 1.0)  # noqa: E731
    total = weighted = 0.0
    for kind, value in signals:
        weight = 5.0 if kind == "explicit" else 1.0
        weighted += clamp(value) * weight
        total += weight
    expected = clamp(weighted / total) if signals else 0.5
    result = velmorapy.py_aggregate(signals)
    assert result == expected or (math.isnan(result) and math.isnan(expected))
