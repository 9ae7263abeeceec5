"""``velmorapy decide-table``: one decision per experiment of a CSV or Parquet table."""

from __future__ import annotations

import argparse
import sys
import warnings

from .cli_support import MAX_SEED, seed_argument, warn
from .errors import InputError
from .table import IgnoredRowsWarning, TableError, decide_table

NAME = "decide-table"
HELP = "decide every experiment of a table of session scores"
DESCRIPTION = """\
Decide, for every experiment of a table with one row per session (experiment id, arm label,
score), whether its challenger should replace its champion. Each row of the result is the
module's promotion decision for that experiment's two arms, with one seed for all.

The table is a .csv file (a header row names the columns) or a .parquet file. The result is a
CSV table sorted by experiment with the columns experiment, outcome, posterior, sessions_each,
champion_sessions, champion_successes, challenger_sessions and challenger_successes. Rows of
any other arm are left out, with a warning that counts them; an experiment with only one arm
gets need_more_data. A missing column, a score column that does not hold numbers, or an empty
or NaN score is refused with the column, or the experiment and its row (counted from 0, the
header not counted). Needs the table extra: pip install 'velmorapy[table]'.
"""
EPILOG = (
    "exit status: 0 when every experiment was decided, 1 for unusable input (a table that "
    "cannot be read, a missing column, a missing or non-numeric score, pandas or pyarrow not "
    "installed, output that cannot be written), 2 for wrong command-line usage."
)


def add_arguments(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("table", metavar="TABLE", help="the sessions: a .csv or .parquet file")
    for option, default, what in (
        ("--experiment", "experiment", "the column of experiment ids"),
        ("--arm", "arm", "the column of arm labels"),
        ("--score", "score", "the column of session scores"),
    ):
        parser.add_argument(option, metavar="COL", default=default, help=f"{what} (default {default!r})")
    parser.add_argument("--champion", metavar="NAME", default="champion", help="the champion's arm label")
    parser.add_argument("--challenger", metavar="NAME", default="challenger", help="the challenger's arm label")
    parser.add_argument(
        "--seed",
        type=seed_argument,
        default=0,
        help=f"seed of every experiment's simulation, 0 to {MAX_SEED} (default 0)",
    )
    parser.add_argument("--out", metavar="FILE", help="write the CSV result to FILE, not standard output")


def run(arguments: argparse.Namespace) -> None:
    result = decided(arguments)
    if arguments.out is None:
        result.to_csv(sys.stdout, index=False)
        return
    try:
        with open(arguments.out, "w", encoding="utf-8", newline="") as out:
            result.to_csv(out, index=False)
    except OSError as error:
        raise InputError(f"--out {arguments.out}: cannot write it ({error.strerror or error})") from None


def decided(arguments: argparse.Namespace):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", IgnoredRowsWarning)
        try:
            result = decide_table(
                arguments.table,
                experiment=arguments.experiment,
                arm=arguments.arm,
                score=arguments.score,
                champion=arguments.champion,
                challenger=arguments.challenger,
                seed=arguments.seed,
            )
        except (TableError, ImportError) as error:
            raise InputError(str(error)) from error
    for warning in caught:
        warn(f"warning: {warning.message}")
    return result
