"""decide_table: every row is the module's decision for that experiment's two arms."""

import subprocess
import sys
import warnings

import numpy as np
import pandas as pd
import pyarrow as pa
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import velmorapy
from velmora import decide_table
from velmora.table import RESULT_COLUMNS, IgnoredRowsWarning, TableError

# Scores on both sides of the success threshold, the threshold itself and extremes.
SCORES = st.sampled_from([0.0, 0.25, 0.4999999999999999, 0.5, 0.75, 1.0, -3.0, 7.5])


@st.composite
def session_tables(draw):
    """Rows of (experiment, arm, score) in random order, some arms short of 20 sessions."""
    ids = draw(
        st.one_of(
            st.lists(st.integers(-5, 50), min_size=1, max_size=6, unique=True),
            st.lists(st.text("ab\u00e9", max_size=3), min_size=1, max_size=6, unique=True),
        )
    )
    rows = []
    for experiment in ids:
        for arm in ("champion", "challenger", "shadow"):
            count = draw(st.sampled_from([0, 3, 19, 20, 27]))
            rows += [(experiment, arm, draw(SCORES)) for _ in range(count)]
    draw(st.randoms()).shuffle(rows)
    return pd.DataFrame(rows, columns=["experiment", "arm", "score"])


def expected_rows(frame, seed):
    """The result decide_table must give, from one module call per experiment."""
    rows = []
    for experiment in sorted(set(frame.experiment[frame.arm != "shadow"])):
        own = frame[frame.experiment == experiment]
        champion = own.score[own.arm == "champion"].tolist()
        challenger = own.score[own.arm == "challenger"].tolist()
        decision = velmorapy.py_promotion_decision(champion, challenger, seed)
        counts = [len(champion), sum(s >= 0.5 for s in champion)]
        counts += [len(challenger), sum(s >= 0.5 for s in challenger)]
        rows.append((experiment, *decision, *counts))
    return rows


@settings(max_examples=60, deadline=None)
@given(frame=session_tables(), seed=st.integers(0, 2**64 - 1))
def test_every_row_is_the_modules_decision_for_that_experiment(frame, seed):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", IgnoredRowsWarning)
        result = decide_table(frame, seed=seed)
    expected = expected_rows(frame, seed)
    assert tuple(result.columns) == RESULT_COLUMNS
    assert list(result.itertuples(index=False, name=None)) == expected
    assert result.posterior.map(float.hex).tolist() == [row[2].hex() for row in expected]


def example_frame():
    return pd.DataFrame(
        {
            "exp": ["b"] * 45 + ["a"] * 50 + ["c"] * 5,
            "variant": ["old"] * 20 + ["new"] * 25 + ["new", "old"] * 25 + ["old"] * 5,
            "value": np.linspace(0.0, 1.0, 100),
        }
    )


def example_result(table):
    return decide_table(
        table, experiment="exp", arm="variant", score="value", champion="old", challenger="new", seed=9
    )


@pytest.mark.parametrize("form", ["pyarrow", "csv", "parquet"])
def test_every_input_form_gives_the_dataframes_result(form, tmp_path):
    frame = example_frame()
    arrow = pa.Table.from_pandas(frame, preserve_index=False)
    if form == "csv":
        arrow = tmp_path / "sessions.csv"
        frame.to_csv(arrow, index=False)
    elif form == "parquet":
        arrow = str(tmp_path / "sessions.parquet")
        frame.to_parquet(arrow)
    pd.testing.assert_frame_equal(example_result(arrow), example_result(frame), check_dtype=False)


def test_a_missing_arm_gives_need_more_data_with_no_sessions():
    result = example_result(example_frame())
    assert result.experiment.tolist() == ["a", "b", "c"]
    missing = result.iloc[2]
    assert (missing.outcome, missing.posterior, missing.sessions_each) == ("need_more_data", 0.0, 0)
    assert (missing.champion_sessions, missing.challenger_sessions, missing.challenger_successes) == (5, 0, 0)


def test_rows_of_other_arms_are_counted_in_a_warning():
    frame = pd.DataFrame({"experiment": [1, 1, 2], "arm": ["champion", "shadow", None], "score": 0.9})
    with pytest.warns(IgnoredRowsWarning, match=r"^2 rows ignored: their 'arm' is neither 'champion' nor 'challenger'$"):
        result = decide_table(frame)
    assert result.experiment.tolist() == [1]


def test_an_empty_table_gives_the_columns_and_no_row():
    frame = pd.DataFrame({"experiment": [], "arm": [], "score": []})
    assert tuple(decide_table(frame).columns) == RESULT_COLUMNS
    assert len(decide_table(frame)) == 0


def frame_with(**changes):
    frame = pd.DataFrame({"experiment": ["a", "a", "b"], "arm": ["champion", "challenger", "champion"], "score": 0.5})
    for column, values in changes.items():
        frame[column] = values
    return frame


@pytest.mark.parametrize(
    "table, arguments, error, message",
    [
        (frame_with(), {"score": "rating"}, TableError,
         "no column 'rating' in the table (its columns: 'experiment', 'arm', 'score')"),
        (frame_with(score=["x", "y", "z"]), {}, TableError, "column 'score' must hold numbers, not "),
        (frame_with(score=[0.5, 0.5, None]), {}, TableError,
         "column 'score' is null or NaN in row 2 (experiment 'b')"),
        (frame_with(score=[0.5, float("nan"), 1.0]), {}, TableError,
         "column 'score' is null or NaN in row 1 (experiment 'a')"),
        (frame_with(experiment=["a", None, "b"]), {}, TableError, "column 'experiment' is null in row 1"),
        (frame_with(), {"challenger": "champion"}, TableError,
         "the champion and the challenger labels are both 'champion'"),
        ("sessions.json", {}, TableError, "cannot read sessions.json: the file name must end in .csv or .parquet"),
        ("missing.csv", {}, TableError, "cannot read missing.csv: "),
        ([1, 2], {}, TypeError, "decide_table() takes a pandas DataFrame, a pyarrow Table or the path"),
        (frame_with(), {"seed": -1}, OverflowError, ""),
    ],
)
def test_errors_name_the_column_or_the_experiment_and_row(table, arguments, error, message, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(error) as raised:
        decide_table(table, **arguments)
    assert str(raised.value).startswith(message)


def test_a_null_score_in_an_ignored_row_is_no_error():
    frame = frame_with(arm=["champion", "shadow", "champion"], score=[0.5, None, 0.5])
    with pytest.warns(IgnoredRowsWarning):
        assert decide_table(frame).champion_sessions.tolist() == [1, 1]


def test_without_pandas_the_message_names_the_extra():
    code = "import sys; sys.modules['pandas'] = None; import velmora; velmora.decide_table(None)"
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert "ImportError: decide_table needs pandas and pyarrow (pandas is not installed): " \
        "pip install 'velmorapy[table]'" in run.stderr
