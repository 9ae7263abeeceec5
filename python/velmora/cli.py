"""The ``velmorapy`` command: subcommands, one-line errors and the exit status.

Exit status: 0 when the command did its job, 1 for unusable input (a file that cannot be read,
a bad value, no scores, output that cannot be written), 2 for wrong command-line usage. Every
failure is one line on standard error, never a traceback. A subcommand is a module with
``NAME``, ``HELP``, ``DESCRIPTION``, ``add_arguments(parser)`` and ``run(arguments)``, listed
in ``COMMANDS``; it raises InputError or UsageError and ``run_command`` does the rest.
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Callable, Sequence

from . import __version__, decide_command, decide_table_command
from .cli_support import warn
from .errors import CommandError

PROGRAM = "velmorapy"
COMMANDS = (decide_command, decide_table_command)
EXIT_OK = 0
EXIT_USAGE = 2
EXIT_INTERRUPTED = 130

EXIT_STATUS_HELP = (
    "exit status: 0 when a decision was made, 1 for unusable input (a file that cannot be read, "
    "a value that is not a usable score, no scores, output that cannot be written), 2 for "
    "wrong command-line usage."
)


class ArgumentParser(argparse.ArgumentParser):
    """argparse with its usage errors on one line."""

    def error(self, message: str) -> None:  # type: ignore[override]
        self.exit(EXIT_USAGE, f"{self.prog}: error: {message} (see {self.prog} --help)\n")


def build_parser() -> ArgumentParser:
    parser = ArgumentParser(
        prog=PROGRAM,
        description="Reproducible champion/challenger promotion decisions from per-session "
        "outcome scores.",
        epilog=EXIT_STATUS_HELP,
    )
    parser.add_argument("--version", action="version", version=f"{PROGRAM} {__version__}")
    commands = parser.add_subparsers(title="commands", metavar="COMMAND", dest="command")
    for command in COMMANDS:
        sub = commands.add_parser(
            command.NAME,
            help=command.HELP,
            description=command.DESCRIPTION,
            epilog=getattr(command, "EPILOG", EXIT_STATUS_HELP),
            formatter_class=argparse.RawDescriptionHelpFormatter,
        )
        command.add_arguments(sub)
        sub.set_defaults(run=command.run, parser=sub)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    arguments = parser.parse_args(argv)
    if arguments.command is None:
        parser.error(f"choose a command: {', '.join(command.NAME for command in COMMANDS)}")
    return run_command(arguments.run, arguments)


def run_command(run: Callable[[argparse.Namespace], None], arguments: argparse.Namespace) -> int:
    """Runs one subcommand and turns every way it can end into one line and an exit status."""
    try:
        run(arguments)
        sys.stdout.flush()  # a full disk shows itself here, not at exit
    except CommandError as error:
        if error.exit_status == EXIT_USAGE:
            prog = arguments.parser.prog
            return _fail(EXIT_USAGE, f"{prog}: error: {error} (see {prog} --help)")
        return _fail(error.exit_status, f"error: {error}")
    except BrokenPipeError:
        # Whoever read the output stopped early (`| head`): nothing is wrong to report.
        _silence_stdout()
        return 1
    except OSError as error:
        _silence_stdout()
        return _fail(1, f"error: cannot write the output ({error.strerror or error})")
    except MemoryError:
        return _fail(1, "error: not enough memory for these scores")
    except KeyboardInterrupt:
        return _fail(EXIT_INTERRUPTED, "interrupted")
    return EXIT_OK


def _fail(status: int, message: str) -> int:
    warn(message)
    return status


def _silence_stdout() -> None:
    """Points standard output at /dev/null so that the flush at exit has nothing to fail on."""
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        os.close(devnull)
    except (OSError, ValueError):
        pass
