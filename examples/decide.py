#!/usr/bin/env python3
"""Should the challenger replace the champion? A promotion decision from session scores.

With no file arguments it decides on built-in demo data. Otherwise pass two score files, the
champion's first, each holding one score per line or a CSV table with a header row:

    python examples/decide.py
    python examples/decide.py champion.txt challenger.txt --seed 42
    python examples/decide.py champion.csv challenger.csv --column satisfaction

A session counts as a success when its score is at least 0.5. Exit status: 0 after a decision,
1 when an input file cannot be read or holds a bad value, 2 for wrong command-line usage.
"""

from __future__ import annotations

import argparse
import csv
import io
import random
import sys
from dataclasses import dataclass
from pathlib import Path

SUCCESS_THRESHOLD = 0.5
DECISION_SAMPLES = 10_000
MIN_SESSIONS_PER_ARM = 20
PROMOTE_THRESHOLD = 0.95
DEFAULT_SEED = 2024
MAX_SEED = 2**64 - 1

EXIT_BAD_INPUT = 1
EXIT_USAGE = 2


class InputError(Exception):
    """A score file that cannot be used; the message is shown to the user as it is."""


@dataclass(frozen=True)
class Arm:
    name: str
    source: str
    scores: list[float]

    @property
    def sessions(self) -> int:
        return len(self.scores)

    @property
    def successes(self) -> int:
        # The same rule as the module: an ordered comparison, so NaN is a failure.
        return sum(1 for score in self.scores if score >= SUCCESS_THRESHOLD)


def demo_arms() -> tuple[Arm, Arm]:
    """Two arms of 300 sessions each, the challenger somewhat better. Always the same scores."""
    generator = random.Random(20240607)

    def scores(count: int, lift: float) -> list[float]:
        return [round(min(1.0, max(0.0, generator.random() * 0.9 + lift)), 3) for _ in range(count)]

    return (
        Arm("champion", "built-in demo data", scores(300, 0.07)),
        Arm("challenger", "built-in demo data", scores(300, 0.17)),
    )


def parse_score(text: str, where: str) -> float:
    try:
        return float(text)
    except ValueError:
        raise InputError(f"{where}: {text.strip()!r} is not a number") from None


def looks_like_number(text: str) -> bool:
    try:
        float(text)
    except ValueError:
        return False
    return True


def data_lines(text: str) -> list[tuple[int, str]]:
    """Non-blank lines that are not comments, with their 1-based line numbers."""
    lines = []
    for number, line in enumerate(text.splitlines(), start=1):
        stripped = line.strip()
        if stripped and not stripped.startswith("#"):
            lines.append((number, stripped))
    return lines


def scores_from_lines(path: str, lines: list[tuple[int, str]]) -> list[float]:
    return [parse_score(line, f"{path}, line {number}") for number, line in lines]


def choose_column(path: str, header: list[str], column: str | None) -> str:
    if column is not None:
        if column not in header:
            raise InputError(
                f"{path}: no column named {column!r}; the columns are {', '.join(header)}"
            )
        return column
    if len(header) == 1:
        return header[0]
    for name in header:
        if name.strip().lower() == "score":
            return name
    raise InputError(
        f"{path}: several columns ({', '.join(header)}); choose one with --column NAME"
    )


def scores_from_csv(path: str, text: str, column: str | None) -> list[float]:
    reader = csv.reader(io.StringIO(text))
    rows = [(reader.line_num, row) for row in reader if any(cell.strip() for cell in row)]
    if not rows:
        raise InputError(f"{path}: the file is empty")
    header = [cell.strip() for cell in rows[0][1]]
    chosen = choose_column(path, header, column)
    index = header.index(chosen)
    scores = []
    for line, row in rows[1:]:
        where = f"{path}, line {line}"
        if index >= len(row) or not row[index].strip():
            raise InputError(f"{where}: no value in column {chosen!r}")
        scores.append(parse_score(row[index], where))
    return scores


def read_scores(path: str, column: str | None) -> list[float]:
    """One score per line, or CSV with a header row (chosen by --column or by its content)."""
    try:
        text = Path(path).read_text(encoding="utf-8-sig")
    except FileNotFoundError:
        raise InputError(f"{path}: no such file") from None
    except IsADirectoryError:
        raise InputError(f"{path}: is a directory, not a score file") from None
    except UnicodeDecodeError:
        raise InputError(f"{path}: not a text file (expected UTF-8 text)") from None
    except OSError as error:
        raise InputError(f"{path}: cannot read it ({error.strerror or error})") from None
    lines = data_lines(text)
    if column is None and (not lines or looks_like_number(lines[0][1])):
        return scores_from_lines(path, lines)
    return scores_from_csv(path, text, column)


def seed_argument(text: str) -> int:
    try:
        seed = int(text, 0)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number") from None
    if not 0 <= seed <= MAX_SEED:
        raise argparse.ArgumentTypeError(f"{text} is outside 0 to {MAX_SEED}")
    return seed


def parse_arguments(argv: list[str]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        description="Decide whether a challenger variant should replace the champion, "
        "from per-session outcome scores (a score of at least 0.5 is a success).",
        epilog="With no files, the decision runs on built-in demo data.",
    )
    parser.add_argument("champion", nargs="?", help="the champion's score file")
    parser.add_argument("challenger", nargs="?", help="the challenger's score file")
    parser.add_argument(
        "--seed",
        type=seed_argument,
        default=DEFAULT_SEED,
        help=f"seed of the simulation, 0 to 2**64-1 (default {DEFAULT_SEED}); "
        "the same seed and scores always give the same answer",
    )
    parser.add_argument("--column", help="the CSV column that holds the scores")
    arguments = parser.parse_args(argv)
    if (arguments.champion is None) != (arguments.challenger is None):
        parser.error("give two score files (champion, then challenger), or none for the demo")
    if arguments.column is not None and arguments.champion is None:
        parser.error("--column needs two score files")
    return arguments


def percent(fraction: float) -> str:
    return f"{100.0 * fraction:.1f}%"


def summary(champion: Arm, challenger: Arm, seed: int, decision: tuple[str, float, int]) -> str:
    outcome, posterior, sessions_each = decision
    lines = [f"Promotion decision (seed {seed})", ""]
    lines.append(f"  {'':<12}{'sessions':>10}{'successes':>12}{'success rate':>15}   data")
    for arm in (champion, challenger):
        rate = percent(arm.successes / arm.sessions) if arm.sessions else "-"
        lines.append(
            f"  {arm.name:<12}{arm.sessions:>10,}{arm.successes:>12,}{rate:>15}   {arm.source}"
        )
    lines.append("")
    if outcome == "need_more_data":
        lines.append("  Chance the challenger is better: not estimated")
        lines.append(
            f"  Outcome: NEED MORE DATA. Each arm needs at least {MIN_SESSIONS_PER_ARM} "
            f"sessions; the smaller one has {sessions_each}."
        )
    else:
        lines.append(
            f"  Chance the challenger is better: {percent(posterior)} "
            f"(from {DECISION_SAMPLES:,} simulated draws)"
        )
        if outcome == "promote":
            lines.append(
                f"  Outcome: PROMOTE. The challenger is better with at least "
                f"{percent(PROMOTE_THRESHOLD)} probability: replace the champion."
            )
        else:
            lines.append(
                f"  Outcome: HOLD. That is below the {percent(PROMOTE_THRESHOLD)} needed to "
                "promote: keep the champion."
            )
    return "\n".join(lines)


def main(argv: list[str]) -> int:
    arguments = parse_arguments(argv)
    try:
        import velmorapy
    except ImportError as error:
        print(f"error: the velmorapy module is not installed ({error}); "
              "install it with: pip install .", file=sys.stderr)
        return EXIT_BAD_INPUT
    if arguments.champion is None:
        champion, challenger = demo_arms()
    else:
        try:
            champion = Arm("champion", arguments.champion,
                           read_scores(arguments.champion, arguments.column))
            challenger = Arm("challenger", arguments.challenger,
                             read_scores(arguments.challenger, arguments.column))
        except InputError as error:
            print(f"error: {error}", file=sys.stderr)
            return EXIT_BAD_INPUT
    decision = velmorapy.py_promotion_decision(champion.scores, challenger.scores,
                                               arguments.seed)
    print(summary(champion, challenger, arguments.seed, decision))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except KeyboardInterrupt:
        print("interrupted", file=sys.stderr)
        sys.exit(130)
