"""Fuzz inputs as recipes: JSON-friendly descriptions of Python values, misbehaving objects
included, that are built into real objects only for the call. A recipe can be stored in the
corpus and replayed exactly."""

from __future__ import annotations

import array
import math
import sys
import time

from hypothesis import strategies as st

FUNCTIONS = {
    "aggregate": ("py_aggregate", ["signals"]),
    "posterior": ("py_posterior_probability", ["champion", "challenger", "samples", "seed"]),
    "decision": ("py_promotion_decision", ["champion", "challenger", "seed"]),
}
# Edges of the integer conversions, and small counts. A valid sample count is kept small
# (nothing between 5000 and 2**32 - 1 is drawn) so that no call samples for minutes.
EDGE_INTS = [-(2**64), -(2**63), -1, 0, 1, 2, 19, 20, 2**32, 2**32 + 1, 2**63 - 1, 2**63,
             2**64 - 1, 2**64, 10**30, 10**400]
SPECIAL_FLOATS = [float.hex(float(x)) for x in ["nan", "inf", "-inf", "0.5", "-0.0",
                                                "0.49999999999999994", "5e-324", "1e308"]]


class FuzzInterrupt(BaseException):
    """Raised by misbehaving objects; being a BaseException it must pass through untouched."""


class FuzzTypeError(TypeError):
    pass


ERRORS = {
    "TypeError": TypeError,
    "ValueError": ValueError,
    "OverflowError": OverflowError,
    "RuntimeError": RuntimeError,
    "MemoryError": MemoryError,
    "FuzzTypeError": FuzzTypeError,
    "FuzzInterrupt": FuzzInterrupt,
}


def _raise(name: str):
    raise ERRORS[name](f"raised by a fuzz object ({name})")


class Kind(str):
    pass


class Tuple(tuple):
    pass


class Int(int):
    pass


class Float(float):
    pass


class FloatRaises:
    def __init__(self, error):
        self.error = error

    def __float__(self):
        _raise(self.error)


class FloatReturns:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class IndexRaises:
    def __init__(self, error):
        self.error = error

    def __index__(self):
        _raise(self.error)


class IndexReturns:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Sequence:
    """A sequence with a length hint that may lie or raise, and an iteration that may fail."""

    def __init__(self, items, length, fail_at, error):
        self.items, self.length, self.fail_at, self.error = items, length, fail_at, error

    def __len__(self):
        if isinstance(self.length, str):
            _raise(self.length)
        return self.length

    def __getitem__(self, index):
        return self.items[index]

    def __iter__(self):
        for position, item in enumerate(self.items):
            if position == self.fail_at:
                _raise(self.error)
            yield item


class Clears:
    """Empties the list that holds it while that list is being converted."""

    def __init__(self, owner: list):
        self.owner = owner

    def __float__(self):
        self.owner.clear()
        return 0.5


class Grows:
    """Appends to the list that holds it while that list is being converted."""

    def __init__(self, owner: list):
        self.owner = owner

    def __float__(self):
        if len(self.owner) < 64:
            self.owner.append(0.75)
        return 0.25


class Sleeps:
    def __float__(self):
        time.sleep(0)
        return 0.6


class _NameRaises(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise RuntimeError("no type name")
        return super().__getattribute__(name)


class NamelessType(metaclass=_NameRaises):
    """An object whose type's name cannot be read, for the type-mismatch message."""


def build(recipe):
    """The Python value a recipe describes."""
    tag, *rest = recipe
    if tag == "float":
        return float.fromhex(rest[0])
    if tag == "int":
        return int(rest[0])
    if tag == "bool":
        return bool(rest[0])
    if tag == "none":
        return None
    if tag == "str":
        return rest[0]
    if tag == "bytes":
        return rest[0].encode("utf-8", "surrogatepass")
    if tag == "list":
        return [build(item) for item in rest[0]]
    if tag == "tuple":
        return tuple(build(item) for item in rest[0])
    if tag == "dict":
        return {str(key): build(value) for key, value in rest[0]}
    if tag == "set":
        return {repr(build(item)) for item in rest[0]}
    if tag == "generator":
        return (build(item) for item in rest[0])
    if tag == "kind":
        return Kind(rest[0])
    if tag == "tuple_subclass":
        return Tuple(build(item) for item in rest[0])
    if tag == "int_subclass":
        return Int(int(rest[0]))
    if tag == "float_subclass":
        return Float(float.fromhex(rest[0]))
    if tag == "float_raises":
        return FloatRaises(rest[0])
    if tag == "float_returns":
        return FloatReturns(build(rest[0]))
    if tag == "index_raises":
        return IndexRaises(rest[0])
    if tag == "index_returns":
        return IndexReturns(build(rest[0]))
    if tag == "sequence":
        items, length, fail_at, error = rest
        return Sequence([build(item) for item in items], _length(length), fail_at, error)
    if tag in ("clears", "grows"):
        owner = [build(item) for item in rest[0]]
        owner.insert(len(owner) // 2, (Clears if tag == "clears" else Grows)(owner))
        return owner
    if tag == "sleeps":
        return Sleeps()
    if tag == "nameless":
        return NamelessType()
    if tag in ("array", "memoryview"):
        typecode, items, step = rest
        held = array.array(typecode, [_fitting(typecode, build(item)) for item in items])
        return held if tag == "array" else memoryview(held)[::step]
    if tag == "ndarray":
        return _ndarray(*rest)
    raise ValueError(f"unknown recipe tag {tag!r}")


def _fitting(typecode, value):
    """A number that an array.array of this typecode stores (integers wrap into its range)."""
    if typecode in "fd":
        return _as_float(value)
    bits = 8 * array.array(typecode).itemsize
    whole = value if isinstance(value, int) else int(value) if math.isfinite(value) else 0
    wrapped = whole % (1 << bits)
    return wrapped - (1 << bits) if typecode.islower() and wrapped >= 1 << (bits - 1) else wrapped


def _as_float(value):
    try:
        return float(value)
    except OverflowError:  # an int beyond the doubles
        return math.inf if value > 0 else -math.inf


def _ndarray(dtype, items, step):
    """A one-dimensional numpy array, strided and in either byte order; a list without numpy."""
    values = [_as_float(build(item)) for item in items]
    try:
        import numpy
    except ImportError:
        return values
    with numpy.errstate(all="ignore"):
        held = numpy.array(values, dtype=numpy.float64).astype(dtype)
    return held[::step]


def _length(length):
    return {"maxsize": sys.maxsize, "huge": 2**70}.get(length, length)


def build_call(recipe):
    """(function name, positional arguments, keyword arguments) of a call recipe."""
    name, _ = FUNCTIONS[recipe["function"]]
    args = [build(item) for item in recipe["args"]]
    kwargs = {key: build(value) for key, value in recipe["kwargs"]}
    return name, args, kwargs


# Strategies. They lean towards well-formed arguments so that calls get past binding and into
# conversion and computation, where the interesting failures are.

error_names = st.sampled_from(sorted(ERRORS))
text = st.text(max_size=12) | st.sampled_from(["explicit", "implicit", "Explicit", "explicit ",
                                              "", "\ud800", "impl\x00icit", "explicitx"])
ints = st.integers(-10, 5000) | st.sampled_from(EDGE_INTS)
floats = st.floats(allow_nan=True, allow_infinity=True).map(float.hex).map(
    lambda x: ["float", x]) | st.sampled_from(SPECIAL_FLOATS).map(lambda x: ["float", x])
int_recipes = ints.map(lambda n: ["int", str(n)])
score_recipes = st.one_of(
    floats, floats, floats, int_recipes,
    st.booleans().map(lambda b: ["bool", b]),
    floats.map(lambda f: ["float_subclass", f[1]]),
    floats.map(lambda f: ["float_returns", f]),
    error_names.map(lambda e: ["float_raises", e]),
    st.sampled_from([["sleeps"], ["none"], ["str", "0.5"], ["nameless"]]),
    int_recipes.map(lambda i: ["index_returns", i]),
    error_names.map(lambda e: ["index_raises", e]),
)
kind_recipes = st.one_of(text.map(lambda t: ["str", t]), text.map(lambda t: ["kind", t]),
                         st.sampled_from([["bytes", "explicit"], ["none"], ["int", "1"]]))
pair_recipes = st.one_of(
    st.tuples(kind_recipes, score_recipes).map(lambda p: ["tuple", list(p)]),
    st.tuples(kind_recipes, score_recipes).map(lambda p: ["tuple_subclass", list(p)]),
    st.lists(score_recipes, max_size=3).map(lambda items: ["tuple", items]),
    st.tuples(kind_recipes, score_recipes).map(lambda p: ["list", list(p)]),
)


# Long enough for a decision to sample (20 scores a side), cheap enough to draw often.
plain_scores = st.lists(st.floats(0, 1).map(float.hex).map(lambda x: ["float", x]) | floats,
                        min_size=18, max_size=40)


# Scores read where they lie: array.array, memoryview (strided), bytes and numpy arrays of
# every dtype the fast path reads, both byte orders, strides forward and backward.
numbers = st.lists(floats | int_recipes, max_size=40)
steps = st.sampled_from([1, 1, 2, 3, -1, -2])
in_memory = st.one_of(
    st.tuples(st.sampled_from("bBhHiIlLqQfd"), numbers, steps).map(lambda t: ["array", *t]),
    st.tuples(st.sampled_from("bBhHiIlLqQfd"), numbers, steps).map(lambda t: ["memoryview", *t]),
    st.text(max_size=40).map(lambda t: ["bytes", t]),
    st.tuples(st.sampled_from(["<f2", ">f2", "<f4", ">f4", "<f8", ">f8", "i1", "u1", "<i2",
                               ">u2", "<i4", ">i4", "<u8", ">i8", "?"]),
              numbers, steps).map(lambda t: ["ndarray", *t]),
)


def containers(items):
    lists = st.lists(items, max_size=30)
    return st.one_of(
        plain_scores.map(lambda xs: ["list", xs]),
        lists.map(lambda xs: ["list", xs]),
        lists.map(lambda xs: ["list", xs]),
        lists.map(lambda xs: ["tuple", xs]),
        lists.map(lambda xs: ["generator", xs]),
        lists.map(lambda xs: ["set", xs]),
        st.tuples(lists, st.one_of(st.integers(0, 60), st.sampled_from(["maxsize", "huge"]),
                                   error_names),
                  st.integers(-1, 50), error_names).map(lambda s: ["sequence", *s]),
        lists.map(lambda xs: ["clears", xs]),
        lists.map(lambda xs: ["grows", xs]),
        in_memory,
    )


count_recipes = st.one_of(int_recipes, int_recipes, score_recipes,
                          ints.map(lambda n: ["int_subclass", str(n)]))
any_value = st.one_of(containers(score_recipes), containers(pair_recipes), score_recipes,
                      kind_recipes, st.just(["dict", [["a", ["int", "1"]]]]))
argument_for = {
    "signals": containers(pair_recipes),
    "champion": containers(score_recipes),
    "challenger": containers(score_recipes),
    "samples": count_recipes,
    "seed": count_recipes,
}


@st.composite
def call_recipes(draw):
    """A call of one of the three entries with arbitrary positional and keyword arguments."""
    function = draw(st.sampled_from(sorted(FUNCTIONS)))
    params = FUNCTIONS[function][1]
    positional = draw(st.integers(0, len(params) + 1))
    args = []
    for index in range(positional):
        fitting = index < len(params) and draw(st.integers(0, 9)) > 0
        args.append(draw(argument_for[params[index]] if fitting else any_value))
    kwargs = []
    for name in params[positional:]:
        if draw(st.integers(0, 9)) > 0:
            kwargs.append([name, draw(argument_for[name])])
    if draw(st.integers(0, 9)) == 0:
        key = draw(st.sampled_from(params) | text)
        if key not in [k for k, _ in kwargs]:
            kwargs.append([key, draw(any_value)])
    return {"function": function, "args": args, "kwargs": kwargs}


def is_valid_result(function: str, result) -> bool:
    def probability(x):
        return type(x) is float and (math.isnan(x) or 0.0 <= x <= 1.0)

    if function in ("aggregate", "posterior"):
        return probability(result)
    if type(result) is not tuple or len(result) != 3:
        return False
    outcome, posterior, sessions = result
    return (
        type(outcome) is str
        and type(sessions) is int
        and sessions >= 0
        and probability(posterior)
        and (outcome in ("hold", "promote") or (outcome == "need_more_data" and posterior == 0))
    )
