"""The decisions of velmora.decide_table for a Spark DataFrame, spread over the executors.

Each experiment's rows go to one executor as a pandas DataFrame (a grouped pandas UDF), which
decides it with the same code as decide_table, so every row equals decide_table's bit for bit.
The executors import velmora and velmorapy: the wheel must be installed there as well.
"""

from __future__ import annotations

from velmora import table

__all__ = ["decide_table"]


def spark_libraries():
    """pyspark's functions and types modules, or an ImportError that says how to install them."""
    try:
        import pyarrow  # noqa: F401  (the grouped pandas UDF moves its rows through Arrow)
        from pyspark.sql import functions, types
    except ImportError as error:
        missing = error.name or "pyspark"
        raise ImportError(
            f"velmora.spark needs pyspark, pandas and pyarrow ({missing} is not installed): "
            "pip install 'velmorapy[spark]'"
        ) from error
    return functions, types


def decide_table(
    spark_df,
    *,
    experiment="experiment",
    arm="arm",
    score="score",
    champion="champion",
    challenger="challenger",
    seed=0,
):
    """One promotion decision per experiment of ``spark_df``, as a Spark DataFrame.

    The arguments and the result's columns are those of ``velmora.decide_table``. The result is
    lazy like any Spark DataFrame: a null or NaN score is reported when it is computed, naming
    the experiment. Rows of other arms are left out without a warning (counting them would take
    a pass of its own over the table).
    """
    functions, types = spark_libraries()
    table.check_labels(champion, challenger)
    table.check_seed(seed)
    table.check_columns(list(spark_df.columns), (experiment, arm, score))
    fields = {field.name: field.dataType for field in spark_df.schema.fields}
    check_score_type(fields[score], score, types)
    labels = (str(champion), str(challenger))
    sessions = spark_df.select(
        functions.col(experiment),
        functions.col(arm).cast("string").alias(arm),
        functions.col(score).cast("double").alias(score),
    ).where(functions.col(arm).isin(*labels))

    def decide_group(frame):
        result, _ = table.decide_frame(
            frame, experiment, arm, score, *labels, seed, name_rows=False
        )
        return result

    schema = result_schema(fields[experiment], types)
    return sessions.groupBy(experiment).applyInPandas(decide_group, schema).orderBy("experiment")


def check_score_type(data_type, column, types):
    # Decimals are refused as decide_table refuses them: their rounding to doubles is not one rule.
    numeric = (types.IntegralType, types.FloatType, types.DoubleType, types.BooleanType)
    if not isinstance(data_type, numeric):
        raise table.TableError(f"column {column!r} must hold numbers, not {data_type.simpleString()}")


def result_schema(experiment_type, types):
    counts = table.RESULT_COLUMNS[3:]
    return types.StructType(
        [
            types.StructField("experiment", experiment_type),
            types.StructField("outcome", types.StringType()),
            types.StructField("posterior", types.DoubleType()),
            *(types.StructField(name, types.LongType()) for name in counts),
        ]
    )
