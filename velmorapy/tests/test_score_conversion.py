"""Score lists: exact lists and tuples are read by index, everything else through its iterator.

Both ways must see the same items in the same order, also when an item's __float__ changes the
list it sits in; the results are compared with a list subclass, which always iterates.
"""

import sys

import pytest

import velmorapy

estimate = velmorapy.py_posterior_probability


class IteratedList(list):
    """A list subclass: converted through the iterator protocol."""


class Mutating:
    """A score whose conversion runs arbitrary code on the list holding it."""

    def __init__(self, value, action):
        self.value = value
        self.action = action

    def __float__(self):
        self.action()
        return self.value


def scores_estimate(scores):
    return estimate(scores, [0.7, 0.2, 0.9], 400, 17)


@pytest.mark.parametrize(
    "make",
    [list, tuple, IteratedList, lambda items: (item for item in items), lambda items: range(0)],
    ids=["list", "tuple", "list_subclass", "generator_rejected", "empty_range"],
)
def test_every_sequence_kind_converts_alike(make):
    items = [0.9, 0.1, 0.5, 0.49999999999999994, float("nan"), 1, True]
    if make(items).__class__.__name__ == "generator":
        with pytest.raises(TypeError, match="^argument 'champion': "):
            scores_estimate(make(items))
        return
    expected = scores_estimate(list(make(items)))
    assert scores_estimate(make(items)) == expected


@pytest.mark.parametrize("kind", [list, IteratedList])
def test_items_appended_while_converting_are_converted(kind):
    scores = kind([0.9, 0.1])
    scores.insert(1, Mutating(0.8, lambda: scores.append(0.95)))
    decision = velmorapy.py_promotion_decision(scores, [0.5] * 30, 3)
    # The list grows from 3 to 4 items while it converts, and all 4 are counted.
    assert decision[2] == 4


@pytest.mark.parametrize("kind", [list, IteratedList])
def test_a_list_emptied_while_converting_stops_after_that_item(kind):
    scores = kind([0.9])
    scores.append(Mutating(0.8, scores.clear))
    scores.extend([0.1, 0.2])
    assert scores_estimate(scores) == scores_estimate([0.9, 0.8])


def test_fast_and_iterated_paths_agree_when_the_list_changes():
    def run(kind):
        scores = kind([0.9, 0.2, 0.7])
        scores.insert(2, Mutating(0.6, lambda: scores.pop() if len(scores) > 3 else None))
        return scores_estimate(scores)

    assert run(list) == run(IteratedList)


@pytest.mark.parametrize("make", [list, tuple])
def test_a_failing_item_is_reported_with_the_argument_name(make):
    with pytest.raises(TypeError, match="^argument 'champion': "):
        scores_estimate(make([0.5, "0.5"]))


def test_exact_lists_and_tuples_leak_no_reference():
    item = Mutating(0.75, lambda: None)
    as_list = [item, 0.5]
    as_tuple = (item, 0.5)
    before = sys.getrefcount(item), sys.getrefcount(as_list), sys.getrefcount(as_tuple)
    for _ in range(200):
        scores_estimate(as_list)
        scores_estimate(as_tuple)
        with pytest.raises(TypeError):
            scores_estimate([item, None])
    assert (sys.getrefcount(item), sys.getrefcount(as_list), sys.getrefcount(as_tuple)) == before
