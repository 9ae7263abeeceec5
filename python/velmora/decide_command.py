"""``velmorapy decide``: should the challenger replace the champion?"""

from __future__ import annotations

import argparse
import sys

from . import report
from .cli_support import MAX_SEED, seed_argument, warn
from .decision import DEFAULT_SEED, decide
from .demo import demo_arms
from .errors import UsageError
from .plot import check_plot_path, save_plot
from .reader import STDIN, read_scores

NAME = "decide"
HELP = "decide whether the challenger should replace the champion"
DESCRIPTION = """\
Decide whether a challenger variant should replace the champion, from per-session outcome
scores: a session whose score is at least 0.5 is a success. With no files the decision runs on
built-in demo data. The outcome, posterior and sessions are those of the module's promotion
rule (10,000 seeded draws, promote at 0.95, at least 20 sessions per arm); the exact probability
and the standard error are reported beside them and never change them.

score files:
  Either one score per line, or a CSV table whose first row names the columns; the scores
  are in the column named by --column, or the only column, or the one named "score" (any
  case). '-' reads standard input. '#' starts a comment to the end of the line and blank
  lines are skipped, in both formats. A score is a plain decimal number with a point:
  0.5, 1, -2.5e-3. nan, inf, numbers too large for a double, underscores (1_000),
  hexadecimal (0x1) and decimal commas (0,7) are refused with the file and line, and so are
  a file with no scores and a CSV header whose column names repeat (unless --column names
  one exactly). Scores outside [0, 1] are used as they are, with a warning.
"""
EPILOG = (
    "exit status: 0 when a decision was made (promote, hold or need more data), 1 for "
    "unusable input (a file that cannot be read, a value that is not a usable score, no "
    "scores, output or a plot that cannot be written, matplotlib missing for --plot), 2 for "
    "wrong command-line usage."
)


def add_arguments(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("champion", nargs="?", help="the champion's score file ('-' for standard input)")
    parser.add_argument("challenger", nargs="?", help="the challenger's score file")
    parser.add_argument("--column", metavar="NAME", help="the CSV column that holds the scores")
    parser.add_argument(
        "--seed",
        type=seed_argument,
        default=DEFAULT_SEED,
        help=f"seed of the simulation, 0 to {MAX_SEED} (default {DEFAULT_SEED}); the same seed "
        "and scores always give the same answer",
    )
    parser.add_argument("--json", action="store_true", help="print one JSON object instead of text")
    parser.add_argument(
        "--plot",
        metavar="FILE",
        help="also draw both posterior densities into FILE (.png or .svg; needs the plot extra: "
        "pip install 'velmorapy[plot]')",
    )


def run(arguments: argparse.Namespace) -> None:
    _check(arguments)
    if arguments.plot is not None:
        check_plot_path(arguments.plot)
    if arguments.champion is None:
        champion, challenger = demo_arms()
    else:
        champion = read_scores(arguments.champion, arguments.column)
        challenger = read_scores(arguments.challenger, arguments.column)
    for scores in (champion, challenger):
        if (warning := report.scale_warning(scores)) is not None:
            warn(warning)
    decision = decide(champion, challenger, arguments.seed)
    if arguments.plot is not None:
        save_plot(decision, arguments.plot)
    output = report.json_report(decision) if arguments.json else report.text_report(decision)
    sys.stdout.write(output)


def _check(arguments: argparse.Namespace) -> None:
    if (arguments.champion is None) != (arguments.challenger is None):
        raise UsageError("give two score files (champion, then challenger), or none for the demo")
    if arguments.column is not None and arguments.champion is None:
        raise UsageError("--column needs two score files")
    if arguments.champion == STDIN and arguments.challenger == STDIN:
        raise UsageError("only one of the two files can be standard input ('-')")
