"""``velmorapy decide-table`` as installed: CSV and Parquet in, CSV out, the usual exit statuses."""

import io
import warnings

import pytest
from cli_runner import needs_command, one_line_failure, velmorapy, without_module

pytestmark = needs_command
pandas = pytest.importorskip("pandas")

from velmora import decide_table  # noqa: E402  (needs pandas, checked just above)


def sessions():
    rows = [("e1", "champion", 0.3 + 0.02 * (i % 20)) for i in range(40)]
    rows += [("e1", "challenger", 0.9 if i % 5 else 0.1) for i in range(40)]
    rows += [("e2", "champion", 0.6)] * 25 + [("e2", "shadow", 0.1)] * 3
    return pandas.DataFrame(rows, columns=["experiment", "arm", "score"])


def expected_csv(frame, **options):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return decide_table(frame, **options).to_csv(index=False)


@pytest.mark.parametrize("suffix", [".csv", ".parquet"])
@pytest.mark.parametrize("to_file", [False, True])
def test_writes_every_experiments_decision_as_csv(tmp_path, suffix, to_file):
    frame = sessions()
    table = tmp_path / f"sessions{suffix}"
    frame.to_csv(table, index=False) if suffix == ".csv" else frame.to_parquet(table)
    out = tmp_path / "decisions.csv"
    result = velmorapy("decide-table", table, "--seed", 11, *(["--out", out] if to_file else []))
    assert result.returncode == 0, result.stderr
    written = out.read_text() if to_file else result.stdout
    assert written == expected_csv(frame, seed=11)
    assert pandas.read_csv(io.StringIO(written)).experiment.tolist() == ["e1", "e2"]
    assert "warning: 3 rows ignored" in result.stderr


def test_column_and_arm_names_are_options(tmp_path):
    frame = sessions().rename(columns={"experiment": "test", "arm": "variant", "score": "s"})
    frame["variant"] = frame["variant"].replace({"champion": "A", "challenger": "B"})
    table = tmp_path / "sessions.csv"
    frame.to_csv(table, index=False)
    options = ["--experiment", "test", "--arm", "variant", "--score", "s"]
    result = velmorapy("decide-table", table, *options, "--champion", "A", "--challenger", "B")
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[1].startswith("e1,promote,")


@pytest.mark.parametrize(
    ("args", "status", "message"),
    [
        (["sessions.csv", "--score", "rating"], 1, "no column 'rating' in the table"),
        (["missing.parquet"], 1, "cannot read missing.parquet"),
        (["sessions.txt"], 1, "the file name must end in .csv or .parquet"),
        (["sessions.csv", "--out", "no/such/dir.csv"], 1, "--out no/such/dir.csv: cannot write it"),
        (["sessions.csv", "--champion", "x", "--challenger", "x"], 1, "are both 'x'"),
        ([], 2, "the following arguments are required: TABLE"),
        (["sessions.csv", "--seed", "-3"], 2, "outside 0 to"),
    ],
)
def test_failures_are_one_line(tmp_path, args, status, message):
    sessions().to_csv(tmp_path / "sessions.csv", index=False)
    (tmp_path / "sessions.txt").write_text("experiment,arm,score\n")
    one_line_failure(velmorapy("decide-table", *args, cwd=tmp_path), status, message)


def test_without_pandas_names_the_extra(tmp_path):
    sessions().to_csv(tmp_path / "sessions.csv", index=False)
    result = velmorapy("decide-table", "sessions.csv", cwd=tmp_path, env=without_module(tmp_path, "pandas"))
    one_line_failure(result, 1, "pip install 'velmorapy[table]'")
