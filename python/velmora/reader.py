"""Score files, read strictly and in one pass into compact arrays of doubles.

A file holds one score per line, or a CSV table whose first row names the columns. ``#``
starts a comment that runs to the end of the line, and blank lines are skipped, in both
formats. A score is a plain decimal number (``0.5``, ``-1``, ``.25``, ``3e-2``): ``nan``,
``inf``, a value too large for a double, underscores, hexadecimal and decimal commas are
refused with the file and line, never taken as something else.

The file is read in blocks of whole lines. A block that is plainly clean (only the bytes a
number can hold, every CSV row with the header's number of fields) goes through ``float`` in
bulk and is counted from the doubles' bits; any other block is read line by line, which either
accepts it (comments, blank lines, quoted cells) or names the line that is wrong.
"""

from __future__ import annotations

import csv
import math
import re
import struct
import sys
from array import array
from collections.abc import Iterator
from contextlib import contextmanager
from dataclasses import dataclass
from typing import BinaryIO

from .errors import InputError
from .tally import Overflow, tally

STDIN = "-"

_BLOCK_SIZE = 1 << 16  # a block and the objects made from it stay in the processor's caches
_LONGEST_LINE = 1 << 20  # no score file has lines this long; a file without newlines is not one
_BOM = b"\xef\xbb\xbf"

# A number as people write one in a data file.
_NUMBER = re.compile(rb"[+-]?(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+)(?:[eE][+-]?[0-9]+)?")
_DECIMAL_COMMA = re.compile(rb"[+-]?[0-9]+,[0-9]+")
_NOT_FINITE = (b"nan", b"inf", b"infinity")
# Cells made of these bytes only are numbers exactly when float() accepts them: without letters
# other than the exponent's there is no nan, inf or hexadecimal, and without '_' no literal
# spelling.
_NUMBER_BYTES = b"0123456789.eE+- \t"
_NOT_SEPARATORS = bytes(byte for byte in range(256) if byte not in b",\n")


@dataclass(frozen=True)
class Scores:
    """One arm's scores in file order, with the counts the report needs."""

    source: str
    values: array
    successes: int
    outside_unit: int  # scores below 0 or above 1

    @property
    def sessions(self) -> int:
        return len(self.values)


def source_name(path: str) -> str:
    return "standard input" if path == STDIN else path


def read_scores(path: str, column: str | None = None) -> Scores:
    """Every score of a file (``-`` for standard input), or InputError naming what is wrong."""
    reading = _Reading(source_name(path), column)
    with _opened(path, reading.name) as stream:
        try:
            for first_line, block in _blocks(stream, reading.name):
                reading.add_block(first_line, block)
        except OSError as error:
            raise InputError(f"{reading.name}: cannot read it ({error.strerror or error})") from None
    if not reading.values:
        raise InputError(f"{reading.name}: no scores")
    return Scores(reading.name, reading.values, reading.successes, reading.outside_unit)


@contextmanager
def _opened(path: str, name: str) -> Iterator[BinaryIO]:
    if path == STDIN:
        yield sys.stdin.buffer
        return
    try:
        stream = open(path, "rb")  # noqa: SIM115 - closed by the with below
    except FileNotFoundError:
        raise InputError(f"{name}: no such file") from None
    except IsADirectoryError:
        raise InputError(f"{name}: is a directory, not a score file") from None
    except PermissionError:
        raise InputError(f"{name}: permission denied") from None
    except OSError as error:
        raise InputError(f"{name}: cannot read it ({error.strerror or error})") from None
    with stream:
        yield stream


def _blocks(stream: BinaryIO, name: str) -> Iterator[tuple[int, bytes]]:
    """(number of the first line, block) for blocks of whole lines, each ending in a newline."""
    line = 1
    pending: list[bytes] = []
    pending_size = 0
    first = True
    while data := stream.read(_BLOCK_SIZE):
        if first:
            data = data.removeprefix(_BOM)
            first = False
        cut = data.rfind(b"\n") + 1
        if cut == 0:
            pending.append(data)
            pending_size += len(data)
            if pending_size > _LONGEST_LINE:
                raise InputError(f"{name}, line {line}: longer than 1 MiB; not a score file")
            continue
        block = b"".join((*pending, data[:cut])) if pending else data[:cut]
        pending, pending_size = ([data[cut:]], len(data) - cut) if cut < len(data) else ([], 0)
        yield line, block
        line += block.count(b"\n")
    if pending_size:
        yield line, b"".join(pending) + b"\n"


class _Reading:
    """The state of one file's single pass: the format once known, the scores, the counts."""

    def __init__(self, name: str, column: str | None) -> None:
        self.name = name
        self.column = column
        self.format: _OnePerLine | _CsvColumn | None = None
        self.values = array("d")
        self.successes = 0
        self.outside_unit = 0

    def add_block(self, first_line: int, block: bytes) -> None:
        if b"\r" in block:
            block = block.replace(b"\r\n", b"\n")
        if self.format is None:
            first_line, block = self._settle_format(first_line, block)
            if not block:
                return
        scores = self.format.bulk(block)
        counts = None
        if scores is not None:
            try:
                counts = tally(scores)
            except Overflow:
                pass  # the line-by-line reading names the line that overflows
        if counts is None:
            scores = self._line_by_line(first_line, block)
            counts = tally(scores)
        successes, outside_unit = counts
        self.successes += successes
        self.outside_unit += outside_unit
        self.values.extend(scores)

    def _settle_format(self, first_line: int, block: bytes) -> tuple[int, bytes]:
        """Chooses the format by the first line with content; returns the lines after a header,
        or from the first score on."""
        start = 0
        for number, line in enumerate(block.split(b"\n")[:-1], start=first_line):
            content = line.split(b"#", 1)[0].strip()
            end = start + len(line) + 1
            if content:
                self.format = self._choose_format(content, f"{self.name}, line {number}")
                if isinstance(self.format, _CsvColumn):
                    return number + 1, block[end:]
                return number, block[start:]
            start = end
        return first_line, b""

    def _line_by_line(self, first_line: int, block: bytes) -> array:
        scores = array("d")
        for number, line in enumerate(block.split(b"\n")[:-1], start=first_line):
            content = line.split(b"#", 1)[0].strip()
            if content:
                scores.append(self.format.score(content, f"{self.name}, line {number}"))
        return scores

    def _choose_format(self, content: bytes, where: str) -> _OnePerLine | _CsvColumn:
        if self.column is None:
            if _NUMBER.fullmatch(content):
                return _OnePerLine()
            if _looks_numeric(content):
                raise InputError(f"{where}: {_why_not_a_score(content)}")
        names = [name.strip() for name in _csv_fields(content, where)]
        if self.column is not None and all(_looks_numeric(name.encode()) for name in names):
            raise InputError(
                f"{where}: {_shown(content)} is a score, not a header row; "
                "--column needs a CSV table whose first row names the columns"
            )
        return _CsvColumn(names, _choose_column(self.name, where, names, self.column))


def _choose_column(name: str, where: str, names: list[str], column: str | None) -> int:
    if column is not None:
        matches = [index for index, header in enumerate(names) if header == column]
        if len(matches) == 1:
            return matches[0]
        if not matches:
            raise InputError(
                f"{name}: no column named {column!r}; the columns are {', '.join(names)}"
            )
        raise InputError(f"{where}: {len(matches)} columns are named {column!r}; rename all but one")
    folded = [header.casefold() for header in names]
    repeated = [header for header, key in zip(names, folded) if folded.count(key) > 1]
    if repeated:
        raise InputError(
            f"{where}: columns with the same name ({', '.join(repeated)}); "
            "choose one by its exact name with --column NAME"
        )
    if len(names) == 1:
        return 0
    if "score" in folded:
        return folded.index("score")
    raise InputError(f"{name}: several columns ({', '.join(names)}); choose one with --column NAME")


class _OnePerLine:
    """One score on each line."""

    @staticmethod
    def bulk(block: bytes) -> array | None:
        if block.translate(None, _NUMBER_BYTES + b"\n"):
            return None
        lines = block.split(b"\n")
        lines.pop()
        try:
            return _doubles(lines)
        except ValueError:  # a blank line or a malformed number: read line by line
            return None

    @staticmethod
    def score(content: bytes, where: str) -> float:
        return parse_score(content, where)


class _CsvColumn:
    """One column of a CSV table, by its index in the header row."""

    def __init__(self, names: list[str], index: int) -> None:
        self.width = len(names)
        self.index = index
        self.column = names[index]
        self.separators = b"," * (self.width - 1) + b"\n"

    def bulk(self, block: bytes) -> array | None:
        if b"#" in block or b'"' in block:
            return None  # comments and quoted cells: read line by line
        cells = self._cells(block)
        if cells is None or b"".join(cells).translate(None, _NUMBER_BYTES):
            return None
        try:
            return _doubles(cells)
        except ValueError:  # an empty or malformed cell: read line by line
            return None

    def _cells(self, block: bytes) -> list[bytes] | None:
        """The chosen column's cells, or None unless every line has exactly `width` fields."""
        # Left with only its separators, a block of well-formed rows is one pattern repeated.
        if block.translate(None, _NOT_SEPARATORS) != self.separators * block.count(b"\n"):
            return None
        fields = block.replace(b"\n", b",").split(b",")
        fields.pop()  # after the last newline
        return fields[self.index :: self.width]

    def score(self, content: bytes, where: str) -> float:
        fields = _csv_fields(content, where)
        if len(fields) != self.width:
            hint = " (decimal commas? write numbers with a point)" if _DECIMAL_COMMA.search(content) else ""
            raise InputError(f"{where}: {len(fields)} fields, but the header has {self.width}{hint}")
        cell = fields[self.index].strip()
        if not cell:
            raise InputError(f"{where}: no value in column {self.column!r}")
        return parse_score(cell.encode(), where)


def _doubles(texts: list[bytes]) -> array:
    """float() of every text, as an array. Packed in one call: an array built from an
    iterable converts each item through a slower generic path."""
    doubles = array("d")
    doubles.frombytes(struct.pack(f"{len(texts)}d", *map(float, texts)))
    return doubles


def parse_score(text: bytes, where: str) -> float:
    """The score that `text` (already stripped) spells, or InputError saying why it is none."""
    if _NUMBER.fullmatch(text):
        value = float(text)
        if math.isinf(value):
            raise InputError(f"{where}: {_shown(text)} is too large (it overflows to infinity)")
        return value
    raise InputError(f"{where}: {_why_not_a_score(text)}")


def _why_not_a_score(text: bytes) -> str:
    shown = _shown(text)
    if text.lower().lstrip(b"+-") in _NOT_FINITE:
        return f"{shown} is not a finite number"
    if _DECIMAL_COMMA.fullmatch(text):
        return f"{shown} has a decimal comma; write it with a point ({text.decode().replace(',', '.')})"
    if b"_" in text:
        return f"{shown} is not a number (write digits without '_')"
    return f"{shown} is not a number"


def _looks_numeric(text: bytes) -> bool:
    """Whether Python would read `text` as a number, or it has a decimal comma: a bad score,
    not a header."""
    if _DECIMAL_COMMA.fullmatch(text):
        return True
    for convert in (float, complex, lambda t: int(t, 0)):
        try:
            convert(text.decode("ascii"))
        except (ValueError, UnicodeDecodeError):
            continue
        return True
    return False


def _csv_fields(content: bytes, where: str) -> list[str]:
    try:
        text = content.decode("utf-8")
    except UnicodeDecodeError:
        raise InputError(f"{where}: not a text file (expected UTF-8 text)") from None
    if "\x00" in text:
        raise InputError(f"{where}: not a text file (it holds NUL bytes)")
    try:
        return next(csv.reader([text], strict=True))
    except csv.Error as error:
        raise InputError(f"{where}: not a readable CSV row ({error})") from None


def _shown(text: bytes) -> str:
    shown = text.decode("utf-8", errors="replace")
    return repr(shown if len(shown) <= 40 else shown[:37] + "...")
