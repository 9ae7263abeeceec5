"""velmora.spark.decide_table on a local Spark: the same rows as decide_table, bit for bit.

pyspark and Java are set up by scripts/test-spark.sh, which runs this file in its own venv.
"""

import os
import sys
import warnings

import numpy as np
import pandas as pd
import pytest

pytest.importorskip("pyspark", reason="pyspark is installed only in the Spark stage's venv (scripts/test-spark.sh)")

from velmora import decide_table  # noqa: E402
from velmora import spark as velmora_spark  # noqa: E402
from velmora.table import TableError  # noqa: E402


@pytest.fixture(scope="module")
def spark():
    from pyspark.sql import SparkSession

    os.environ["PYSPARK_PYTHON"] = sys.executable
    session = (
        SparkSession.builder.master("local[2]")
        .appName("velmora-test")
        .config("spark.ui.enabled", "false")
        .config("spark.sql.shuffle.partitions", "8")
        .getOrCreate()
    )
    yield session
    session.stop()


def sessions(experiments=600, seed=3):
    """Experiments of 0 to 60 sessions per arm, one arm missing in some, a third arm in others."""
    rng = np.random.default_rng(seed)
    frames = []
    for number in range(experiments):
        for arm in ("champion", "challenger", "shadow"):
            count = int(rng.integers(0, 61)) if rng.random() > 0.1 else 0
            frames.append(pd.DataFrame({"experiment": f"exp-{number:04d}", "arm": arm, "score": rng.random(count)}))
    return pd.concat(frames, ignore_index=True).sample(frac=1.0, random_state=seed)


def test_spark_gives_decide_tables_rows_bit_for_bit(spark):
    frame = sessions()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        local = decide_table(frame, seed=2024)
    spread = velmora_spark.decide_table(spark.createDataFrame(frame), seed=2024).toPandas()

    assert len(local) >= 500
    assert list(spread.columns) == list(local.columns)
    for column in local.columns:
        assert spread[column].tolist() == local[column].tolist(), column
    assert spread.posterior.map(float.hex).tolist() == local.posterior.map(float.hex).tolist()
    assert set(local.outcome) == {"promote", "hold", "need_more_data"}

    with pytest.raises(TableError, match="^column 'score' must hold numbers, not string$"):
        velmora_spark.decide_table(spark.createDataFrame(frame.astype({"score": str})))
