"""The two ways a command can refuse to go on, each with its exit status.

A command raises one of these with a message meant for the user as it stands: one line, no
traceback. ``run_command`` turns it into that line on standard error and the exit status.
"""


class CommandError(Exception):
    """A failure the user can act on; ``exit_status`` is what the process exits with."""

    exit_status = 1


class InputError(CommandError):
    """Unusable input: a file that cannot be read, a bad value, nothing to decide on."""

    exit_status = 1


class UsageError(CommandError):
    """Wrong command-line usage, found after the arguments were parsed."""

    exit_status = 2
