"""examples/decide.py, a thin wrapper over `velmorapy decide`, as users of the script run it."""

import subprocess
import sys
from pathlib import Path

import pytest

import velmorapy

SCRIPT = Path(__file__).resolve().parents[2] / "examples" / "decide.py"


def run(*args, cwd=None):
    return subprocess.run([sys.executable, str(SCRIPT), *map(str, args)], capture_output=True,
                          text=True, timeout=120, cwd=cwd)


def test_demo_decides_and_explains():
    result = run()
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    champion = next(line for line in lines if line.strip().startswith("champion"))
    challenger = next(line for line in lines if line.strip().startswith("challenger"))
    assert "300" in champion and "300" in challenger
    assert "Chance the challenger is better:" in result.stdout
    assert "Outcome: PROMOTE" in result.stdout


def test_runs_from_any_directory(tmp_path):
    assert run(cwd=tmp_path).returncode == 0


def write(path, text):
    path.write_text(text)
    return path


def test_own_files_one_score_per_line_and_csv(tmp_path):
    champion_scores = [0.7] * 12 + [0.1] * 8
    challenger_scores = [0.7] * 15 + [0.1] * 5
    champion = write(tmp_path / "champion.txt",
                     "# exported scores\n" + "\n".join(map(str, champion_scores)) + "\n\n")
    challenger = write(tmp_path / "challenger.csv",
                       "session,score\n" + "".join(f"s{i},{score}\n"
                                                   for i, score in enumerate(challenger_scores)))
    result = run(champion, challenger, "--seed", 123)
    assert result.returncode == 0, result.stderr
    outcome, posterior, _ = velmorapy.py_promotion_decision(champion_scores, challenger_scores, 123)
    assert (outcome, posterior) == ("hold", 0.838)
    assert "83.8%" in result.stdout and "Outcome: HOLD" in result.stdout
    assert "20" in result.stdout and "15" in result.stdout


def test_named_csv_column_and_too_few_sessions(tmp_path):
    table = "user,satisfaction,clicks\n" + "".join(f"u{i},0.9,{i}\n" for i in range(10))
    champion = write(tmp_path / "a.csv", table)
    challenger = write(tmp_path / "b.csv", table)
    result = run(champion, challenger, "--column", "satisfaction")
    assert result.returncode == 0, result.stderr
    assert "NEED MORE DATA" in result.stdout and "10" in result.stdout


@pytest.mark.parametrize(
    ("champion_text", "challenger_text", "extra", "code", "message"),
    [
        ("0.5\nabc\n", "0.5\n", [], 1, "line 2: 'abc' is not a number"),
        ("a,b\n1,2\n", "0.5\n", [], 1, "several columns (a, b); choose one with --column"),
        ("score\n0.5\n", "score\n0.5\n", ["--column", "rating"], 1,
         "no column named 'rating'; the columns are score"),
        ("score,x\n0.5,1\n,2\n", "score\n0.4\n", [], 1, "line 3: no value in column 'score'"),
        ("0.5\n", "0.5\n", ["--seed", "-1"], 2, "outside 0 to 18446744073709551615"),
        ("0.5\n", "0.5\n", ["--seed", "x"], 2, "'x' is not a whole number"),
    ],
)
def test_bad_input_is_reported_without_a_traceback(tmp_path, champion_text, challenger_text,
                                                    extra, code, message):
    champion = write(tmp_path / "champion.csv", champion_text)
    challenger = write(tmp_path / "challenger.csv", challenger_text)
    result = run(champion, challenger, *extra)
    assert result.returncode == code
    assert message in result.stderr
    assert "Traceback" not in result.stderr
    assert result.stdout == ""


@pytest.mark.parametrize(
    ("args", "code", "message"),
    [
        (["missing.txt", "missing.txt"], 1, "missing.txt: no such file"),
        (["."  , "."], 1, "is a directory"),
        (["only-one.txt"], 2, "give two score files"),
    ],
)
def test_unusable_files_and_usage(tmp_path, args, code, message):
    result = run(*args, cwd=tmp_path)
    assert result.returncode == code
    assert message in result.stderr
    assert "Traceback" not in result.stderr


def test_binary_file_is_refused(tmp_path):
    champion = tmp_path / "scores.bin"
    champion.write_bytes(b"\xff\xfe\x00\x81" * 8)
    result = run(champion, champion)
    assert result.returncode == 1
    assert "not a text file" in result.stderr and "Traceback" not in result.stderr
