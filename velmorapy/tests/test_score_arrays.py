"""Score arrays counted where their numbers lie give exactly what the item-by-item path gives.

The oracle is `Iterated(scores)`: a plain Python sequence whose iteration is the object's own,
so it always takes the item path, with the same items, the same errors and the same messages.
"""

import array
import math
import sys
import warnings

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import velmorapy

BUFFER_ROUTE = sys.version_info >= (3, 11)  # array.array and memoryview need the buffer functions
FAST_DTYPES = ["f2", "f4", "f8", "i1", "i2", "i4", "i8", "u1", "u2", "u4", "u8", "b1"]
REFERENCE = [0.7] * 13 + [0.2] * 11


class Iterated:
    """The object's own iteration behind a type the module knows nothing of."""

    def __init__(self, scores):
        self.scores = scores

    def __len__(self):
        return len(self.scores)

    def __getitem__(self, index):
        return self.scores[index]

    def __iter__(self):
        return iter(self.scores)


def outcomes(scores, seed=11):
    """Each function's result or (error class, message), warnings raised as errors."""
    calls = [
        lambda: velmorapy.py_posterior_probability(scores, REFERENCE, 500, seed),
        lambda: velmorapy.py_posterior_probability(REFERENCE, scores, 500, seed),
        lambda: velmorapy.py_promotion_decision(scores, REFERENCE, seed),
    ]
    found = []
    for call in calls:
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            try:
                found.append(("result", repr(call())))
            except Exception as error:
                found.append((type(error), str(error)))
    return found


def matrix(rows):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", PendingDeprecationWarning)
        return np.matrix(rows)


def assert_same_as_item_path(scores, seed=11):
    assert outcomes(scores, seed) == outcomes(Iterated(scores), seed)


@st.composite
def numpy_arrays(draw):
    dtype = np.dtype(draw(st.sampled_from(FAST_DTYPES))).newbyteorder(draw(st.sampled_from("<>=")))
    count = draw(st.integers(0, 40))
    step = draw(st.sampled_from([1, 1, 2, 3, -1, -2]))
    offset = draw(st.integers(0, dtype.itemsize))  # unaligned items too
    size = offset + count * abs(step) * dtype.itemsize
    if dtype.kind == "f" and draw(st.booleans()):
        width = {2: 16, 4: 32, 8: 64}[dtype.itemsize]
        values = draw(st.lists(st.floats(width=width) | st.sampled_from(
            [0.5, math.nextafter(0.5, 0), math.nan, -math.inf, math.inf, -0.0]),
            min_size=size // dtype.itemsize + 1, max_size=size // dtype.itemsize + 1))
        raw = np.array(values, dtype=dtype).tobytes()
    else:
        raw = draw(st.binary(min_size=size + dtype.itemsize, max_size=size + dtype.itemsize))
    base = np.frombuffer(raw, dtype=dtype, count=count * abs(step), offset=offset)
    scores = base[::step] if step > 0 else base[::-1][::-step]
    return scores.copy() if draw(st.booleans()) and step == 1 else scores


@settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(numpy_arrays(), st.integers(0, 2**64 - 1))
def test_numpy_arrays_of_every_dtype_order_and_stride(scores, seed):
    assert_same_as_item_path(scores, seed)


ARRAY_TYPECODES = [code for code in array.typecodes if code not in "uw"]


@settings(max_examples=150, deadline=None)
@given(st.sampled_from(ARRAY_TYPECODES), st.binary(max_size=64), st.sampled_from([None, 1, 2, -1]))
def test_array_memoryview_and_byte_strings(typecode, raw, step):
    raw = raw[: len(raw) // array.array(typecode).itemsize * array.array(typecode).itemsize]
    scores = array.array(typecode)
    scores.frombytes(raw)
    for candidate in (scores, memoryview(scores)[::step], bytes(raw), bytearray(raw),
                      memoryview(raw)[::step]):
        assert_same_as_item_path(candidate)


@pytest.mark.parametrize(
    "scores",
    [
        np.array([2**53 + 1, 2**63 - 1, -(2**63), 0, 1, -1], dtype=np.int64),
        np.array([2**64 - 1, 2**53 + 1, 0, 1], dtype=np.uint64),
        np.array([0.5, np.nextafter(0.5, 0), np.nan, -np.inf, np.inf, -0.0], dtype=np.float16),
        np.frombuffer(bytes([0, 1, 2, 255]), dtype=np.bool_),  # any non-zero byte is True
        np.arange(2**16, dtype=np.uint16).view(np.float16),  # every half float
        np.zeros(0),
        np.lib.stride_tricks.as_strided(np.ones(1), (30,), (0,)),
    ],
    ids=["int64", "uint64", "float16", "bool_bytes", "all_halves", "empty", "stride_0"],
)
def test_edges_of_each_format(scores):
    assert_same_as_item_path(scores)


@pytest.mark.parametrize(
    "scores",
    [
        np.ones((4, 5)),
        np.ones((30, 1)),
        np.array(0.7),
        np.array([0.7, "x"], dtype=object),
        np.array([0.7, 0.1], dtype=object),
        np.array([1 + 2j, 0.5]),
        np.array(["0.7", "0.2"]),
        np.array([b"1"]),
        np.array(["2024-01-01"], dtype="datetime64[D]"),
        np.array([1, 2], dtype="timedelta64[s]"),
        np.ones(3, dtype=np.longdouble),
        np.zeros(3, dtype=[("a", "f8"), ("b", "i4")]),
        np.ma.array([0.7, 0.2, 0.9], mask=[0, 1, 0]),
        matrix([[0.7, 0.2]]),
        memoryview(np.ones(3, dtype=np.float16)),
        memoryview(np.ones(3, dtype=">f8")),
        memoryview(np.ones((2, 3))),
        memoryview(b"ab").cast("c"),
        array.array("u", "ab"),
    ],
    ids=lambda scores: f"{type(scores).__name__}-{getattr(scores, 'dtype', '')}",
)
def test_other_kinds_take_the_item_path_with_its_errors(scores):
    assert_same_as_item_path(scores)


class Array(np.ndarray):
    """A subclass may iterate as it likes: it takes the item path."""

    def __iter__(self):
        return iter([0.9] * len(self))


def test_array_subclasses_are_iterated():
    scores = np.zeros(25).view(Array)
    assert velmorapy.py_promotion_decision(scores, REFERENCE, 1) == velmorapy.py_promotion_decision(
        [0.9] * 25, REFERENCE, 1)


def test_a_released_memoryview_raises_its_own_error():
    view = memoryview(b"\x01\x00")
    view.release()
    assert outcomes(view)[0] == (ValueError, "operation forbidden on released memoryview object")


@pytest.mark.skipif(not BUFFER_ROUTE, reason="the buffer functions need CPython 3.11")
def test_a_buffer_is_released_after_counting():
    scores = bytearray(b"\x01\x00" * 20)
    view = memoryview(scores)
    velmorapy.py_promotion_decision(view, REFERENCE, 3)
    view.release()
    scores.append(1)  # raises BufferError while any view of it is still held
    growing = array.array("d", [0.9] * 30)
    velmorapy.py_promotion_decision(growing, REFERENCE, 3)
    growing.append(0.1)


def test_the_module_imports_no_numpy(python_process):
    child = python_process(
        "import sys, velmorapy\n"
        "print(velmorapy.py_promotion_decision(b'\\x01' * 30, bytearray(25), 4)[2])\n"
        "print('numpy' in sys.modules)\n"
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.split() == ["25", "False"]
