"""Fuzzing the three entries with arbitrary positional and keyword arguments, misbehaving
objects included: every call returns a valid result or raises an ordinary exception.

The run lasts VELMORAPY_FUZZ_SECONDS (3 by default; CI gives it a minute, a hand run as long as
you like). With VELMORAPY_FUZZ_SAVE=1 every input whose outcome the corpus has not seen yet is
added to fuzz_corpus/, which every run replays. VELMORAPY_FUZZ_LAST names a file that always
holds the input being run, to reproduce a crash; VELMORAPY_FUZZ_STATS one for the totals.
"""

import hashlib
import json
import os
import pathlib
import re
import time

import pytest
from hypothesis import HealthCheck, given, settings

import velmorapy
from fuzz_recipes import FuzzInterrupt, build_call, call_recipes, is_valid_result

SECONDS = float(os.environ.get("VELMORAPY_FUZZ_SECONDS", "3"))
SAVE = os.environ.get("VELMORAPY_FUZZ_SAVE") == "1"
LAST = os.environ.get("VELMORAPY_FUZZ_LAST")
STATS = os.environ.get("VELMORAPY_FUZZ_STATS")
CORPUS = pathlib.Path(__file__).with_name("fuzz_corpus")


def outcome_class(function: str, error: BaseException | None, result=None) -> str:
    """The kind of outcome, with the parts of a message that name values left out."""
    if error is None:
        return f"{function}: {result[0] if type(result) is tuple else 'float'}"
    message = re.sub(r"'[^']*'", "'_'", str(error))
    message = re.sub(r"\d+", "N", message)
    message = re.sub(r"(unknown kind: |unexpected keyword argument ).*", r"\1_", message,
                     flags=re.S)
    return f"{function}: {type(error).__name__}: {message[:80]}"


def run_recipe(recipe) -> str:
    """Makes the call a recipe describes; fails unless it gave a valid result or an ordinary
    exception (a PanicException, being a BaseException, fails the test by propagating)."""
    function = recipe["function"]
    name, args, kwargs = build_call(recipe)
    try:
        result = getattr(velmorapy, name)(*args, **kwargs)
    except FuzzInterrupt as error:
        return outcome_class(function, error)
    except SystemError as error:
        pytest.fail(f"the module misused the C API: {error!r} for {recipe}")
    except Exception as error:
        return outcome_class(function, error)
    assert is_valid_result(function, result), f"{result!r} for {recipe}"
    return outcome_class(function, None, result)


def corpus_entries():
    return sorted(CORPUS.glob("*.json"))


def test_fuzz_entries_give_valid_outcomes():
    known = {json.loads(path.read_text())["outcome"] for path in corpus_entries()}
    found = {}
    calls = 0

    @settings(max_examples=250, deadline=None, database=None,
              suppress_health_check=list(HealthCheck))
    @given(call_recipes())
    def batch(recipe):
        nonlocal calls
        if LAST:
            pathlib.Path(LAST).write_text(json.dumps(recipe))
        outcome = run_recipe(recipe)
        # The corpus keeps the shortest input seen for each kind of outcome.
        if outcome not in found or len(json.dumps(recipe)) < len(json.dumps(found[outcome])):
            found[outcome] = recipe
        calls += 1

    deadline = time.monotonic() + SECONDS
    while time.monotonic() < deadline:
        batch()

    # The module works as before.
    assert velmorapy.py_promotion_decision([0.6] * 25, [0.4] * 30, 11) == ("hold", 0.0, 25)
    if STATS:
        pathlib.Path(STATS).write_text(f"{calls} calls, {len(found)} kinds of outcome")
    if SAVE:
        CORPUS.mkdir(exist_ok=True)
        for outcome, recipe in found.items():
            if outcome not in known:
                entry = json.dumps({"outcome": outcome, "recipe": recipe})
                name = hashlib.sha1(outcome.encode()).hexdigest()[:12]
                (CORPUS / f"{name}.json").write_text(entry + "\n")


@pytest.mark.parametrize("path", corpus_entries(), ids=lambda path: path.stem)
def test_corpus_input_gives_its_recorded_outcome(path):
    entry = json.loads(path.read_text())
    assert run_recipe(entry["recipe"]) == entry["outcome"]
