"""Pieces every subcommand shares: argument types and warnings on standard error."""

from __future__ import annotations

import argparse
import sys

MAX_SEED = 2**64 - 1


def seed_argument(text: str) -> int:
    """A seed for the simulation: a whole number from 0 to 2**64 - 1, in decimal digits."""
    if not (text.isascii() and text.isdigit()):
        if text.startswith("-") and text[1:].isascii() and text[1:].isdigit():
            raise argparse.ArgumentTypeError(f"{text} is outside 0 to {MAX_SEED}")
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number")
    seed = int(text)
    if seed > MAX_SEED:
        raise argparse.ArgumentTypeError(f"{text} is outside 0 to {MAX_SEED}")
    return seed


def warn(message: str) -> None:
    """A line on standard error that does not stop the command."""
    try:
        print(message, file=sys.stderr, flush=True)
    except OSError:
        pass  # a closed standard error must not cost the decision
