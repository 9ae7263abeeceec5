"""Promotion decisions for many experiments at once, from one table of session scores.

A table has one row per session: the experiment it belongs to, the arm that served it and its
score. Every experiment's decision is ``velmorapy.py_promotion_decision`` of its champion's and
its challenger's scores with the one seed. The rows are grouped once (experiment and arm codes,
one sort) and each arm goes to the module as a contiguous slice of one array of doubles.
"""

from __future__ import annotations

import os
import warnings
from pathlib import Path

import velmorapy

__all__ = ["RESULT_COLUMNS", "IgnoredRowsWarning", "TableError", "decide_table"]

RESULT_COLUMNS = (
    "experiment",
    "outcome",
    "posterior",
    "sessions_each",
    "champion_sessions",
    "champion_successes",
    "challenger_sessions",
    "challenger_successes",
)

# A session succeeds when its score is at least this (the module's own rule).
SUCCESS_SCORE = 0.5

# What pandas infers for an object column that holds only numbers (and nulls).
NUMERIC_OBJECTS = ("floating", "integer", "mixed-integer-float", "boolean", "empty")

# Arm codes of a row; any other label is ignored.
CHAMPION, CHALLENGER, OTHER = 0, 1, 2


class TableError(ValueError):
    """The table cannot be decided: a missing or unusable column, or a missing score."""


class IgnoredRowsWarning(UserWarning):
    """Some rows name neither the champion nor the challenger arm and were left out."""


def table_libraries():
    """pandas and numpy, or an ImportError that says how to install them."""
    try:
        import numpy
        import pandas
        import pyarrow  # noqa: F401  (read_table and the pyarrow Table input need it)
    except ImportError as error:
        missing = error.name or "pandas or pyarrow"
        raise ImportError(
            f"decide_table needs pandas and pyarrow ({missing} is not installed): "
            "pip install 'velmorapy[table]'"
        ) from error
    return pandas, numpy


def decide_table(
    table,
    *,
    experiment="experiment",
    arm="arm",
    score="score",
    champion="champion",
    challenger="challenger",
    seed=0,
):
    """One promotion decision per experiment of ``table``, as a pandas DataFrame.

    ``table`` is a pandas DataFrame, a pyarrow Table, or the path of a ``.csv`` or ``.parquet``
    file, with one row per session. The result has one row per experiment that has a champion
    or a challenger row, sorted by experiment, with the columns of ``RESULT_COLUMNS``. Rows of
    any other arm are left out, with an ``IgnoredRowsWarning`` that counts them.
    """
    pandas, _ = table_libraries()
    check_labels(champion, challenger)
    check_seed(seed)
    frame = read_columns(table, (experiment, arm, score))
    result, ignored = decide_frame(
        frame, experiment, arm, score, champion, challenger, seed, name_rows=True
    )
    if ignored:
        warnings.warn(
            f"{ignored} rows ignored: their {arm!r} is neither {champion!r} nor {challenger!r}",
            IgnoredRowsWarning,
            stacklevel=2,
        )
    return result


def check_labels(champion, challenger):
    if str(champion) == str(challenger):
        raise TableError(f"the champion and the challenger labels are both {str(champion)!r}")


def check_seed(seed):
    # The module checks the seed only when it is called; an empty table must not hide a bad one.
    velmorapy.py_promotion_decision((), (), seed)


def read_columns(table, columns):
    """The named columns of a DataFrame, a pyarrow Table or a CSV or Parquet file, as a DataFrame."""
    pandas, _ = table_libraries()
    import pyarrow

    if isinstance(table, pandas.DataFrame):
        check_columns(list(table.columns), columns)
        return table.loc[:, list(dict.fromkeys(columns))]
    if isinstance(table, (str, os.PathLike)):
        table = read_file(Path(table), columns)
    if isinstance(table, pyarrow.Table):
        check_columns(table.column_names, columns)
        names = list(dict.fromkeys(columns))
        return pandas.DataFrame({name: table.column(name).to_pandas() for name in names})
    raise TypeError(
        "decide_table() takes a pandas DataFrame, a pyarrow Table or the path of a .csv or "
        f".parquet file, not {type(table).__name__}"
    )


def check_columns(present, wanted):
    for name in wanted:
        count = present.count(name)
        if count == 0:
            shown = ", ".join(repr(str(column)) for column in present)
            raise TableError(f"no column {name!r} in the table (its columns: {shown})")
        if count > 1:
            raise TableError(f"column {name!r} appears {count} times in the table")


def read_file(path, columns):
    import pyarrow
    import pyarrow.csv
    import pyarrow.parquet

    suffix = path.suffix.lower()
    try:
        if suffix == ".csv":
            return pyarrow.csv.read_csv(path)
        if suffix in (".parquet", ".pq"):
            present = pyarrow.parquet.read_schema(path).names
            check_columns(present, columns)
            return pyarrow.parquet.read_table(path, columns=list(dict.fromkeys(columns)))
    except (OSError, pyarrow.ArrowException) as error:
        raise TableError(f"cannot read {path}: {first_line(error)}") from error
    raise TableError(f"cannot read {path}: the file name must end in .csv or .parquet")


def first_line(error):
    """An error's message on one line (pyarrow's run over several), or its type's name."""
    if isinstance(error, OSError) and error.strerror:
        return error.strerror
    lines = str(error).strip().splitlines()
    return lines[0] if lines else type(error).__name__


def decide_frame(frame, experiment, arm, score, champion, challenger, seed, *, name_rows):
    """The decisions of one DataFrame's rows and the number of rows of other arms.

    ``name_rows`` says whether row positions mean anything to the caller (they do not for a
    group that Spark hands over) and so belong in an error message.
    """
    arms = arm_codes(frame[arm], champion, challenger)
    kept = arms != OTHER
    ignored = len(arms) - int(kept.sum())
    experiments, ids = experiment_codes(frame[experiment], kept, experiment, name_rows)
    scores = score_values(frame[score], score)
    check_scores(scores, kept, experiments, ids, score, name_rows)
    grouped = ArmCounts.of(experiments, arms, kept, scores, len(ids))
    return grouped.decisions(ids, seed), ignored


def arm_codes(labels, champion, challenger):
    """CHAMPION, CHALLENGER or OTHER for every row; labels are compared as text."""
    import pyarrow
    import pyarrow.compute as compute

    _, numpy = table_libraries()
    texts = (str(champion), str(challenger))
    array = arrow_array(labels)
    if array is not None and is_text(array.type):
        # One pass over the column against a set of two, instead of hashing every label.
        found = compute.index_in(array, value_set=pyarrow.array(texts, type=array.type))
        return compute.fill_null(found, OTHER).to_numpy().astype(numpy.int8)
    return labels_by_text(labels, texts)


def labels_by_text(labels, texts):
    pandas, numpy = table_libraries()
    codes, uniques = pandas.factorize(labels)
    meaning = numpy.full(len(uniques) + 1, OTHER, dtype=numpy.int8)  # the last: a null label
    for position, label in enumerate(uniques):
        if str(label) in texts:
            meaning[position] = texts.index(str(label))
    return meaning[codes]


def experiment_codes(values, kept, column, name_rows):
    """Each row's position among the sorted experiment ids (-1 for a null), and those ids."""
    _, numpy = table_libraries()
    codes, ids = arrow_codes(values) or pandas_codes(values, column)
    missing = kept & (codes < 0)
    if missing.any():
        where = f" in row {int(numpy.argmax(missing))}" if name_rows else ""
        raise TableError(f"column {column!r} is null{where}")
    return codes, ids


def arrow_codes(values):
    """Dictionary codes from pyarrow (faster than pandas' for strings), or None when it cannot."""
    import pyarrow
    import pyarrow.compute as compute

    _, numpy = table_libraries()
    array = arrow_array(values)
    if array is None or pyarrow.types.is_dictionary(array.type):
        return None
    try:
        encoded = compute.dictionary_encode(array)
        order = compute.array_sort_indices(encoded.dictionary).to_numpy()
    except pyarrow.ArrowException:
        return None
    rank = numpy.full(len(order) + 1, -1, dtype=numpy.int64)  # the last: a null id
    rank[order] = numpy.arange(len(order))
    codes = rank[compute.fill_null(encoded.indices, len(order)).to_numpy()]
    return codes, encoded.dictionary.take(order).to_pandas()


def pandas_codes(values, column):
    pandas, _ = table_libraries()
    try:
        return pandas.factorize(values, sort=True)
    except TypeError as error:
        raise TableError(f"column {column!r} mixes ids that cannot be ordered: {error}") from error


def arrow_array(values):
    """The column as one pyarrow array (no copy for a pyarrow-backed column), or None for a
    categorical column or one pyarrow cannot take whole."""
    import pyarrow

    pandas, _ = table_libraries()
    if isinstance(values.dtype, pandas.CategoricalDtype):
        return None  # its codes are there already
    try:
        array = pyarrow.array(values, from_pandas=True)
        if isinstance(array, pyarrow.ChunkedArray):
            array = array.combine_chunks()
    except (pyarrow.ArrowException, TypeError, ValueError):
        return None
    return array


def is_text(arrow_type):
    import pyarrow

    return pyarrow.types.is_string(arrow_type) or pyarrow.types.is_large_string(arrow_type)


def score_values(values, column):
    """The scores as one array of doubles, a null as NaN."""
    pandas, numpy = table_libraries()
    types = pandas.api.types
    dtype = values.dtype
    numeric = types.is_bool_dtype(dtype) or types.is_numeric_dtype(dtype)
    if not numeric and dtype == object:
        numeric = types.infer_dtype(values, skipna=True) in NUMERIC_OBJECTS
    if not numeric:
        raise TableError(f"column {column!r} must hold numbers, not {dtype}")
    try:
        return values.to_numpy(dtype=numpy.float64, na_value=numpy.nan)
    except (TypeError, ValueError) as error:
        raise TableError(f"column {column!r} must hold numbers: {error}") from error


def check_scores(scores, kept, experiments, ids, column, name_rows):
    # In a table a NaN score is a missing value as much as a null is (pandas cannot tell the
    # two apart), so neither may pass for a failed session.
    _, numpy = table_libraries()
    missing = kept & numpy.isnan(scores)
    if not missing.any():
        return
    row = int(numpy.argmax(missing))
    where = f"in row {row} " if name_rows else ""
    raise TableError(
        f"column {column!r} is null or NaN {where}(experiment {shown(ids[experiments[row]])})"
    )


def shown(value):
    item = getattr(value, "item", None)
    return repr(item() if callable(item) else value)


class ArmCounts:
    """Each (experiment, arm) group's sessions and successes, counted without sorting a row."""

    def __init__(self, sizes, successes):
        self.sizes = sizes
        self.successes = successes

    @classmethod
    def of(cls, experiments, arms, kept, scores, count):
        _, numpy = table_libraries()
        width = numpy.int32 if 2 * count < 2**31 else numpy.int64
        keys = experiments.astype(width) * 2 + arms
        if not kept.all():
            keys, scores = keys[kept], scores[kept]
        sizes = numpy.bincount(keys, minlength=2 * count)
        successes = numpy.bincount(keys[scores >= SUCCESS_SCORE], minlength=2 * count)
        return cls(sizes, successes)

    def decisions(self, ids, seed):
        """One row per experiment that has rows: the module's decision on its two arms.

        A decision depends on each arm's sessions and successes alone (and the seed), not on
        the scores' order or values beyond the threshold. So experiments with the same four
        counts share one call, and each arm is handed to the module as a view of one flag
        array: its successes as True, then its failures as False, one byte a session.
        """
        pandas, numpy = table_libraries()
        sizes, successes = self.sizes, self.successes
        present = numpy.flatnonzero(sizes[0::2] + sizes[1::2])
        counts = numpy.stack(
            [sizes[0::2], successes[0::2], sizes[1::2], successes[1::2]], axis=1
        )[present]
        distinct, which = numpy.unique(counts, axis=0, return_inverse=True)
        outcomes, posteriors, each = self.decide_counts(distinct, seed)
        which = which.reshape(-1)
        return pandas.DataFrame(
            {
                "experiment": ids.take(present),
                "outcome": outcomes[which],
                "posterior": posteriors[which],
                "sessions_each": each[which],
                "champion_sessions": sizes[0::2][present],
                "champion_successes": successes[0::2][present],
                "challenger_sessions": sizes[1::2][present],
                "challenger_successes": successes[1::2][present],
            }
        )

    @staticmethod
    def decide_counts(counts, seed):
        """The module's decision for each row of (champion sessions, successes, challenger
        sessions, successes), as three arrays."""
        _, numpy = table_libraries()
        widest = int(counts[:, 0::2].max()) if len(counts) else 0
        flags = numpy.zeros(2 * widest, dtype=numpy.bool_)
        flags[:widest] = True  # flags[widest - s : widest - s + n]: s successes of n sessions
        decide = velmorapy.py_promotion_decision
        rows = [
            decide(flags[widest - s1 : widest - s1 + n1], flags[widest - s2 : widest - s2 + n2], seed)
            for n1, s1, n2, s2 in counts.tolist()
        ]
        outcomes, posteriors, each = zip(*rows) if rows else ((), (), ())
        return (
            numpy.array(outcomes, dtype=object),
            numpy.array(posteriors, dtype=numpy.float64),
            numpy.array(each, dtype=numpy.int64),
        )
