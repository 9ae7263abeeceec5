"""``velmorapy decide`` as installed: formats, strictness, exit statuses, reports and the plot."""

import importlib.metadata
import json
import os
import subprocess
import sys

import pytest
from cli_runner import COMMAND, needs_command, one_line_failure, velmorapy, without_module

import velmorapy as module

pytestmark = needs_command

GOOD = "0.7\n" * 15 + "0.2\n" * 10  # 25 sessions, 15 successes
MANY = 100_000  # lines: several of the reader's blocks


def write(path, text):
    path.write_bytes(text.encode() if isinstance(text, str) else text)
    return path


def arms(tmp_path, champion, challenger=GOOD):
    return write(tmp_path / "champion", champion), write(tmp_path / "challenger", challenger)


def counts_file(sessions, successes):
    return "0.9\n" * successes + "0.1\n" * (sessions - successes)


@pytest.mark.parametrize(
    ("champion", "options", "message"),
    [
        ("0.5\nnan\n", [], "champion, line 2: 'nan' is not a finite number"),
        ("inf\n", [], "line 1: 'inf' is not a finite number"),
        ("0.5\n-inf\n", [], "line 2: '-inf' is not a finite number"),
        ("0.5\n1e309\n", [], "line 2: '1e309' is too large (it overflows to infinity)"),
        ("0.5\n" * MANY + "-1e999\n", [], f"line {MANY + 1}: '-1e999' is too large"),
        ("1_000\n", [], "line 1: '1_000' is not a number (write digits without '_')"),
        ("0.5\n0_5\n", [], "line 2: '0_5' is not a number (write digits without '_')"),
        ("0x1\n", [], "line 1: '0x1' is not a number"),
        ("0.5\n1j\n", [], "line 2: '1j' is not a number"),
        ("0.5\n" * MANY + "0b1\n", [], f"line {MANY + 1}: '0b1' is not a number"),
        ("", [], "champion: no scores"),
        ("# nothing yet\n\n", [], "champion: no scores"),
        ("score\n", [], "champion: no scores"),
        ("score\n# none\n", ["--column", "score"], "champion: no scores"),
        ("0,7\n", [], "line 1: '0,7' has a decimal comma; write it with a point (0.7)"),
        ("id,score\na,0,7\n", [], "line 2: 3 fields, but the header has 2 (decimal commas?"),
        ("score,Score\n0.5,0.6\n", [], "line 1: columns with the same name (score, Score)"),
        ("score,score\n0.5,0.6\n", ["--column", "score"], "2 columns are named 'score'"),
        ("a,b\n1,2\n", [], "several columns (a, b); choose one with --column NAME"),
        ("score\n0.5\n", ["--column", "rating"], "no column named 'rating'"),
        ("0.5\n0.5\n", ["--column", "score"], "'0.5' is a score, not a header row"),
        ("id,score\n" + "a,0.5\n" * MANY + "b,\n", [], f"line {MANY + 2}: no value in column"),
        ("id,score\n" + "a,0.5\n" * MANY + "b,nan\n", [], f"line {MANY + 2}: 'nan' is not a"),
        (b"\xff\xfe\x00\x81,\n", [], "not a text file"),
    ],
)
def test_unusable_scores_exit_1_naming_the_file_and_line(tmp_path, champion, options, message):
    champion, challenger = arms(tmp_path, champion)
    result = velmorapy("decide", champion, challenger, *options, cwd=tmp_path)
    one_line_failure(result, 1, message)
    assert result.stdout == ""


ACCEPTED = [
    # (file text, options, the scores it holds)
    ("# exported\n0.7\n\n.25 # late\n+1\n5.\n1e-3\n", [], [0.7, 0.25, 1.0, 5.0, 1e-3]),
    ("0.7\r\n0.1\r\n", [], [0.7, 0.1]),
    ("\ufeffscore\n0.6\n", [], [0.6]),
    ("# header next\nid,Score\n\nu1,0.9 # ok\nu2,0.1\n", [], [0.9, 0.1]),
    ('id,score\n"u,1","0.75"\n', [], [0.75]),
    ("score,Score\n0.2,0.9\n", ["--column", "Score"], [0.9]),
    ("a,b,c\n1,0.5,x\n2,0.25,y\n", ["--column", "b"], [0.5, 0.25]),
    ("-0.0\n0.49999999999999999\n1.0000000000000002\n", [], [-0.0, 0.5, 1.0000000000000002]),
    ("0.1234\n" * MANY + "0.5\n", [], [0.1234] * MANY + [0.5]),
    ("s,score\n" + "a,0.5\n" * MANY + "b,0.0\n", [], [0.5] * MANY + [0.0]),
]


@pytest.mark.parametrize(("text", "options", "scores"), ACCEPTED)
def test_json_report_is_the_modules_decision_on_the_files_scores(tmp_path, text, options, scores):
    # --column names the column of both files
    champion, challenger = arms(tmp_path, text, f"{options[1]}\n{GOOD}" if options else GOOD)
    challenger_scores = [float(line) for line in GOOD.split()]
    result = velmorapy("decide", champion, challenger, *options, "--seed", 99, "--json")
    assert result.returncode == 0, result.stderr
    report = json.loads(result.stdout)
    assert set(report) == {
        "outcome", "posterior", "sessions_each", "seed", "samples", "exact_probability",
        "standard_error", "champion", "challenger",
    }
    outcome, posterior, sessions_each = module.py_promotion_decision(scores, challenger_scores, 99)
    assert (report["outcome"], report["posterior"], report["sessions_each"]) == (
        outcome, posterior, sessions_each,
    )
    assert report["champion"] == {
        "source": str(champion),
        "sessions": len(scores),
        "successes": sum(score >= 0.5 for score in scores),
    }
    assert report["challenger"]["successes"] == 15 and report["seed"] == 99


@pytest.mark.parametrize(
    ("args", "message"),
    [
        (["decide", "only-one"], "give two score files"),
        (["decide", "--column", "score"], "--column needs two score files"),
        (["decide", "-", "-"], "only one of the two files can be standard input"),
        (["decide", "--seed", "-1"], "outside 0 to 18446744073709551615"),
        (["decide", "--seed", "2**64"], "'2**64' is not a whole number"),
        (["decide", "--seed", str(2**64)], "outside 0 to"),
        (["decide", "--plot", "out.pdf"], "must end in .png or .svg"),
        (["decide", "--frobnicate"], "unrecognized arguments: --frobnicate"),
        ([], "choose a command: decide, decide-table"),
        (["judge"], "invalid choice: 'judge'"),
    ],
)
def test_usage_errors_exit_2(tmp_path, args, message):
    one_line_failure(velmorapy(*args, cwd=tmp_path), 2, message)


@pytest.mark.parametrize(
    ("files", "message"),
    [(["missing.txt", "missing.txt"], "missing.txt: no such file"), ([".", "."], "is a directory")],
)
def test_unreadable_files_exit_1(tmp_path, files, message):
    one_line_failure(velmorapy("decide", *files, cwd=tmp_path), 1, message)


def test_standard_input_and_the_demo_decide(tmp_path):
    champion, _ = arms(tmp_path, GOOD)
    piped = velmorapy("decide", champion, "-", stdin=GOOD)
    assert piped.returncode == 0 and "standard input" in piped.stdout
    demo = velmorapy("decide")
    assert demo.returncode == 0 and "Outcome: PROMOTE" in demo.stdout
    assert "built-in demo data" in demo.stdout


def test_scores_on_a_percent_scale_are_decided_with_a_warning(tmp_path):
    champion, challenger = arms(tmp_path, "50\n" * 20 + "0.5\n" * 5)
    result = velmorapy("decide", champion, challenger)
    assert result.returncode == 0
    assert "20 of 25 scores (80.0%) lie outside [0, 1]; are these on a 0–100 scale?" in result.stderr


@pytest.mark.parametrize(
    ("challenger_successes", "could_differ"),
    [(114, False), (116, True), (117, True), (119, False)],
)
def test_a_posterior_near_the_threshold_says_another_seed_could_differ(
    tmp_path, challenger_successes, could_differ
):
    champion, challenger = arms(
        tmp_path, counts_file(200, 100), counts_file(200, challenger_successes)
    )
    result = velmorapy("decide", champion, challenger, "--seed", 7)
    assert result.returncode == 0
    assert ("Another seed could decide differently" in result.stdout) == could_differ


@pytest.mark.parametrize(
    ("champion", "challenger"),
    [((20, 5), (20, 15)), ((300, 164), (300, 196)), ((1000, 530), (1000, 480)),
     ((5000, 2500), (4000, 2080)), ((100, 0), (100, 100)), ((25, 25), (60, 1))],
)
def test_exact_probability_matches_a_high_precision_sum(tmp_path, champion, challenger):
    mpmath = pytest.importorskip("mpmath")
    files = arms(tmp_path, counts_file(*champion), counts_file(*challenger))
    report = json.loads(velmorapy("decide", *files, "--json").stdout)
    # X ~ Beta(a, b) the challenger, Y ~ Beta(c, d) the champion, summed term by term.
    (n, s), (m, t) = challenger, champion
    a, b, c, d = s + 1, n - s + 1, t + 1, m - t + 1
    with mpmath.workdps(60):
        exact = mpmath.fsum(
            mpmath.beta(c + i, b + d) / ((b + i) * mpmath.beta(1 + i, b) * mpmath.beta(c, d))
            for i in range(a)
        )
    assert report["exact_probability"] == pytest.approx(float(exact), abs=1e-9)


def test_version_from_the_command_and_the_package(tmp_path):
    expected = f"velmorapy {importlib.metadata.version('velmorapy')}"
    assert velmorapy("--version").stdout.strip() == expected
    as_module = subprocess.run(
        [sys.executable, "-m", "velmora", "--version"], capture_output=True, text=True, cwd=tmp_path
    )
    assert as_module.stdout.strip() == expected


def test_a_reader_that_stops_early_ends_it_quietly(tmp_path):
    champion, challenger = arms(tmp_path, GOOD * 2000)
    process = subprocess.Popen(
        [str(COMMAND), "decide", champion, challenger, "--json"],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
    )
    process.stdout.close()  # like `| head -c1` that is gone before the report is written
    stderr = process.stderr.read().decode()
    assert process.wait(timeout=120) == 1
    assert stderr == ""


@pytest.mark.skipif(not os.path.exists("/dev/full"), reason="no /dev/full on this system")
def test_a_full_disk_is_one_line(tmp_path):
    with open("/dev/full", "w") as full:
        result = velmorapy("decide", stdout=full)
    one_line_failure(result, 1, "cannot write the output (No space left on device)")


@pytest.mark.parametrize(("suffix", "magic"), [(".png", b"\x89PNG"), (".svg", b"<svg")])
def test_plot_draws_the_posteriors(tmp_path, suffix, magic):
    pytest.importorskip("matplotlib")
    plot = tmp_path / f"posteriors{suffix}"
    result = velmorapy("decide", "--plot", plot)
    assert result.returncode == 0, result.stderr
    assert magic in plot.read_bytes()[:400]


def test_plot_without_matplotlib_names_the_extra(tmp_path):
    plot = tmp_path / "posteriors.png"
    result = velmorapy("decide", "--plot", plot, env=without_module(tmp_path, "matplotlib"))
    one_line_failure(result, 1, "pip install 'velmorapy[plot]'")
    assert not plot.exists() and result.stdout == ""
