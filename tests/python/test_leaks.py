"""Leaks: every success and failure path of the Python surface, repeated, grows neither the native heap, nor the Python heap, nor any reference count."""
import array
import gc
import math
import pickle
import sys

import pytest

import pymorvel
from pymorvel import Rbf
from support import FULL, SANITIZED, FailingIter, Index, Raising, Seq, heap_in_use, panic_type

PANIC = panic_type()
# Each path is repeated in BATCHES batches of `rounds` calls after a warm-up of
# at most WARM_UP rounds, and a measure counts as grown only when it grew in
# every batch. Caches that fill once grow some batches and then stop (the
# first few hundred resumed aborts fill about a hundred Python blocks for
# good; malloc's per-thread cache keeps a few kB of freed chunks), while a
# leak grows every batch alike.
ROUNDS = 500 if FULL else 100
BATCHES = 4
WARM_UP = 100

# Every object handed to the module is registered here; after each case all of
# their reference counts must be what they were before it.
ARGUMENTS = []


def arg(obj):
    """Registers obj and, for lists, what is inside it, except numbers, text
    and None, which the interpreter shares with everything else."""
    ARGUMENTS.append(obj)
    if isinstance(obj, list):
        for item in obj:
            if not isinstance(item, (int, float, str)) and item is not None:
                arg(item)
    return obj


N = 24
# The caller's kernel name and the abort's class are counted like any argument.
KERNEL = arg("inverse_multiquadratic")
arg(PANIC)
POINTS = arg([i * 0.37 for i in range(N)])
VALUES = arg([math.sin(p) for p in POINTS])
VPOINTS = arg([[p, p * p - 1.0] for p in POINTS])
VVALUES = arg([[v, -v, 0.5 * v] for v in VALUES])
# Large enough that the pool is used however the elimination is blocked.
BIG_POINTS = arg([[math.sin(i * 0.37) * 3.0, math.cos(i * 0.11) * 2.0] for i in range(270)])
BIG_VALUES = arg([a * a - b for a, b in BIG_POINTS])
QUERIES = arg([0.1, 1.5, 7.9])
VQUERIES = arg([[0.1, 0.2], [3.0, -1.0]])
TUPLE_POINTS = arg(tuple(POINTS))
BYTES_POINTS = arg(bytes(range(N)))
RANGE_POINTS = arg(range(N))
SEQ_POINTS = arg(Seq(POINTS))

# Failing inputs: each fails in a specific place of the conversions.
BAD_TAIL = arg(POINTS[:-1] + ["a"])                          # number conversion fails on the last item
BAD_VTAIL = arg(VPOINTS[:-1] + [[1.0, None]])                # inner conversion fails on the last item
STR_ITEM = arg(VPOINTS[:-1] + ["ab"])
MIXED = arg([1.0, [2.0]])
LYING_LONG = arg(Seq(POINTS, length=2**60))
LYING_SHORT = arg(Seq(POINTS, length=0))
LEN_RAISES = arg(Seq(POINTS, length=ValueError))
LEN_NEGATIVE = arg(Seq(POINTS, length=-5))
ITEM_RAISES = arg(Seq(POINTS, fail_at=N - 1, error=ArithmeticError))
ITER_RAISES = arg(FailingIter(POINTS, error=LookupError))
ITEM_INTERRUPTS = arg(POINTS[:-1] + [Raising(KeyboardInterrupt)])
LEN_INTERRUPTS = arg(Seq(POINTS, length=KeyboardInterrupt))
ITEM_EXITS = arg(POINTS[:-1] + [Raising(SystemExit)])
ITEM_NO_MEMORY = arg(POINTS[:-1] + [Raising(MemoryError)])
ITEM_PANICS = arg(POINTS[:-1] + [Raising(PANIC)])
VITEM_PANICS = arg(VPOINTS[:-1] + [[0.5, Raising(PANIC)]])
VITEM_RAISES = arg(VPOINTS[:-1] + [[0.5, Raising(ZeroDivisionError)]])
INDEX_HUGE = arg(POINTS[:-1] + [Index(2**2000)])
A_SET = arg(set(POINTS))
A_DICT = arg(dict.fromkeys(range(3)))
TEXT = arg("0.5")
COINCIDING = arg([0.0, 0.0, 0.0])
TWO_COINCIDING = arg([0.0, 0.0])
ONES = arg([1.0, 1.0])
ONE_TWO = arg([1.0, 2.0])
THREE = arg([1.0, 2.0, 3.0])
EMPTY = arg([])
ONE_VECTOR_VALUE = arg([[1.0, 2.0]])
INF_QUERY = arg([0.5, math.inf])
VINF_QUERY = arg([[0.5, 0.5], [math.inf, 0.0]])
SMOOTHING = arg([0.01 * (i % 3) for i in range(N)])
SMOOTHING_BAD_TAIL = arg([0.0] * (N - 1) + [None])
SMOOTHING_NEGATIVE_TAIL = arg([0.0] * (N - 1) + [-1.0])
COLLINEAR = arg([[p, 2.0 * p] for p in POINTS])
SHORT_VQUERIES = arg([[0.1, 0.2], [3.0]])
EPS_TYPE_ERROR = arg(Raising(TypeError))
EPS_VALUE_ERROR = arg(Raising(ValueError))
EPS_PANICS = arg(Raising(PANIC))
EPS_TEXT = arg("abc")
EPS_HUGE = arg(2**2000)
KERNEL_SURROGATE = arg("gauss\ud800")
KERNEL_BYTES = arg(b"gaussian")
# Pickled states: one whole, and damaged ones that fail only after most of
# their lists were read.
VWEIGHTS = arg(Rbf(VPOINTS, VVALUES, "multiquadric").weights)
STATE = arg((1, "multiquadric", 1.0, VPOINTS, VVALUES, VWEIGHTS))
LATE_BAD_POINT = arg((1, "multiquadric", 1.0, arg(VPOINTS[:-1] + [[0.5, 1]]), VVALUES, VWEIGHTS))
LATE_BAD_WEIGHT = arg((1, "multiquadric", 1.0, VPOINTS, VVALUES, arg(VWEIGHTS[:-1] + [[0.5, math.inf]])))
SHORT_WEIGHTS = arg((1, "multiquadric", 1.0, VPOINTS, VVALUES, arg(VWEIGHTS[:-1])))
INFINITE_WEIGHTS = Rbf(TWO_COINCIDING, ONE_TWO)
# Format version 2, whole and damaged where only its polynomial term is wrong.
_PLANE_MODEL = Rbf(VPOINTS, VVALUES, "multiquadric", degree=1)
PWEIGHTS = arg(_PLANE_MODEL.weights)
COEFFICIENTS = arg(_PLANE_MODEL.polynomial_coefficients)
POLY_STATE = arg((2, "multiquadric", 1.0, VPOINTS, VVALUES, PWEIGHTS, 1, COEFFICIENTS))
LATE_BAD_COEFFICIENT = arg((2, "multiquadric", 1.0, VPOINTS, VVALUES, PWEIGHTS, 1,
                            arg(COEFFICIENTS[:-1] + [[0.5, 1, 0.5]])))
INFINITE_COEFFICIENT = arg((2, "multiquadric", 1.0, VPOINTS, VVALUES, PWEIGHTS, 1,
                            arg(COEFFICIENTS[:-1] + [[0.5, math.inf, 0.5]])))
SHORT_COEFFICIENTS = arg((2, "multiquadric", 1.0, VPOINTS, VVALUES, PWEIGHTS, 1, arg(COEFFICIENTS[:-1])))
DEGREE_TOO_HIGH = arg((2, "multiquadric", 1.0, VPOINTS, VVALUES, PWEIGHTS, 9, COEFFICIENTS))


def read_back_and_round_trip():
    model = pymorvel._restore(STATE)
    for name in ("kernel_name", "epsilon", "n_samples", "point_kind", "value_kind", "points", "values", "weights"):
        getattr(model, name)
    pickle.loads(pickle.dumps(model)).predict(VQUERIES)


def polynomial_round_trip():
    model = pickle.loads(pickle.dumps(pymorvel._restore(POLY_STATE)))
    model.degree, model.polynomial_coefficients
    model.predict(VQUERIES)
    model.gradient(VQUERIES)


def predict_of(points, values, /, *args, **kwargs):
    """predict alone, on a model made once."""
    model = Rbf(points, values, "multiquadric")
    return lambda: model.predict(*args, **kwargs)


def fit_predict_repr(x, y, queries, kernel=KERNEL, **options):
    def run():
        model = Rbf(x, y, kernel, 0.8, **options)
        model.predict(queries)
        model.gradient(queries)
        return repr(model)
    return run


def gradient_of(points, values, /, *args, **kwargs):
    """gradient alone, on a model made once."""
    model = Rbf(points, values, "multiquadric", degree=1)
    return lambda: model.gradient(*args, **kwargs)


# (name, call, expected exception class or None for success[, rounds[, calls per round]])
CASES = [
    # Successes: every shape, every kernel, the container kinds, the pool.
    ("f64-f64", fit_predict_repr(POINTS, VALUES, QUERIES), None),
    ("f64-vec", fit_predict_repr(POINTS, VVALUES, QUERIES), None),
    ("vec-f64", fit_predict_repr(VPOINTS, VALUES, VQUERIES), None),
    ("vec-vec", fit_predict_repr(VPOINTS, VVALUES, VQUERIES), None),
    *[(f"kernel {k}", fit_predict_repr(POINTS, VALUES, QUERIES, k), None)
      for k in ("gaussian", "multiquadric", "thin_plate_spline", "linear", "cubic")],
    ("tuple points", fit_predict_repr(TUPLE_POINTS, VALUES, QUERIES), None),
    ("bytes points", fit_predict_repr(BYTES_POINTS, VALUES, QUERIES), None),
    ("range points", fit_predict_repr(RANGE_POINTS, VALUES, QUERIES), None),
    ("user sequence points", fit_predict_repr(SEQ_POINTS, VALUES, QUERIES), None),
    ("lying long length", fit_predict_repr(LYING_LONG, VALUES, QUERIES), None),
    ("lying short length", fit_predict_repr(LYING_SHORT, VALUES, QUERIES), None),
    ("length raises", fit_predict_repr(LEN_RAISES, VALUES, QUERIES), None),
    ("negative length", fit_predict_repr(LEN_NEGATIVE, VALUES, QUERIES), None),
    ("empty query", predict_of(POINTS, VALUES, EMPTY), None),
    ("keyword query", predict_of(VPOINTS, VVALUES, x_new=VQUERIES), None),
    # A large factorisation per round: fewer rounds, but a leak there is also
    # larger per round (a matrix row alone is 2 kB).
    ("pool-sized fit", lambda: Rbf(BIG_POINTS, BIG_VALUES, "multiquadric").predict(BIG_POINTS[:3]), None,
     ROUNDS // 4),
    # Binding.
    ("new: no arguments", lambda: Rbf(), TypeError),
    ("new: x only", lambda: Rbf(POINTS), TypeError),
    ("new: five positional", lambda: Rbf(POINTS, VALUES, None, None, 1), TypeError),
    ("new: unknown keyword", lambda: Rbf(POINTS, VALUES, z=1), TypeError),
    ("new: x twice", lambda: Rbf(POINTS, VALUES, x=POINTS), TypeError),
    ("predict: no argument", predict_of(POINTS, VALUES), TypeError),
    ("predict: two positional", predict_of(POINTS, VALUES, QUERIES, QUERIES), TypeError),
    ("predict: unknown keyword", predict_of(POINTS, VALUES, x=QUERIES), TypeError),
    ("predict: x_new twice", predict_of(POINTS, VALUES, QUERIES, x_new=QUERIES), TypeError),
    # kernel_name and epsilon.
    ("kernel not a str", lambda: Rbf(POINTS, VALUES, KERNEL_BYTES), TypeError),
    ("kernel lone surrogate", lambda: Rbf(POINTS, VALUES, KERNEL_SURROGATE), UnicodeEncodeError),
    ("kernel unknown", lambda: Rbf(POINTS, VALUES, "Gaussian"), ValueError),
    ("kernel unknown, x unusable", lambda: Rbf(TEXT, TEXT, "nope"), ValueError),
    ("epsilon text", lambda: Rbf(POINTS, VALUES, None, EPS_TEXT), TypeError),
    ("epsilon raises TypeError", lambda: Rbf(POINTS, VALUES, None, EPS_TYPE_ERROR), TypeError),
    ("epsilon raises ValueError", lambda: Rbf(POINTS, VALUES, None, EPS_VALUE_ERROR), ValueError),
    ("epsilon too large", lambda: Rbf(POINTS, VALUES, None, EPS_HUGE), OverflowError),
    ("epsilon panics", lambda: Rbf(POINTS, VALUES, None, EPS_PANICS), PANIC),
    # Shape trials that fail, some after converting most of the input.
    ("x is text", lambda: Rbf(TEXT, VALUES), ValueError),
    ("x is a number", lambda: Rbf(1.5, VALUES), ValueError),
    ("x is a set", lambda: Rbf(A_SET, VALUES), ValueError),
    ("x is a dict", lambda: Rbf(A_DICT, VALUES), ValueError),
    ("x mixes numbers and lists", lambda: Rbf(MIXED, ONE_TWO), ValueError),
    ("last number fails", lambda: Rbf(BAD_TAIL, VALUES), ValueError),
    ("last vector fails", lambda: Rbf(BAD_VTAIL, VVALUES), ValueError),
    ("text among vectors", lambda: Rbf(STR_ITEM, VALUES), ValueError),
    ("last item access raises", lambda: Rbf(ITEM_RAISES, VALUES), ValueError),
    ("__iter__ raises", lambda: Rbf(ITER_RAISES, VALUES), ValueError),
    ("huge __index__", lambda: Rbf(INDEX_HUGE, VALUES), ValueError),
    # Interruptions and resumed aborts, after partial conversion.
    ("KeyboardInterrupt in __float__", lambda: Rbf(ITEM_INTERRUPTS, VALUES), KeyboardInterrupt),
    ("KeyboardInterrupt in __len__", lambda: Rbf(LEN_INTERRUPTS, VALUES), KeyboardInterrupt),
    ("SystemExit in __float__", lambda: Rbf(ITEM_EXITS, VALUES), SystemExit),
    ("MemoryError in __float__", lambda: Rbf(ITEM_NO_MEMORY, VALUES), MemoryError),
    ("panic in __float__", lambda: Rbf(ITEM_PANICS, VALUES), PANIC),
    ("panic in a vector component", lambda: Rbf(VITEM_PANICS, VALUES), PANIC),
    # Failures of the numerical core.
    ("empty input", lambda: Rbf(EMPTY, EMPTY), ValueError),
    ("zero pivot", lambda: Rbf(COINCIDING, THREE), ValueError),
    ("NaN in back substitution", lambda: Rbf(TWO_COINCIDING, ONES), ValueError),
    ("length mismatch f64-f64", lambda: Rbf(POINTS, VALUES[:-1]), PANIC),
    ("length mismatch f64-vec", lambda: Rbf(EMPTY, ONE_VECTOR_VALUE), PANIC),
    ("length mismatch vec-vec", lambda: Rbf(VPOINTS, VVALUES[1:]), PANIC),
    ("length mismatch, pool-sized", lambda: Rbf(BIG_POINTS, BIG_VALUES[:-1]), PANIC),
    # predict's conversion failures and its message result.
    ("predict text", predict_of(POINTS, VALUES, TEXT), TypeError),
    ("predict number", predict_of(POINTS, VALUES, 0.5), TypeError),
    ("predict last item fails", predict_of(POINTS, VALUES, BAD_TAIL), TypeError),
    ("predict last vector fails", predict_of(VPOINTS, VALUES, BAD_VTAIL), TypeError),
    ("predict text among vectors", predict_of(VPOINTS, VALUES, STR_ITEM), TypeError),
    ("predict item access raises", predict_of(POINTS, VALUES, ITEM_RAISES), ArithmeticError),
    ("predict __iter__ raises", predict_of(POINTS, VALUES, ITER_RAISES), LookupError),
    ("predict huge __index__", predict_of(POINTS, VALUES, INDEX_HUGE), OverflowError),
    ("predict KeyboardInterrupt", predict_of(POINTS, VALUES, ITEM_INTERRUPTS), KeyboardInterrupt),
    ("predict panic in __float__", predict_of(VPOINTS, VALUES, VITEM_PANICS), PANIC),
    ("predict __float__ raises in a vector", predict_of(VPOINTS, VALUES, VITEM_RAISES), ZeroDivisionError),
    ("predict NaN output", predict_of(POINTS, VALUES, INF_QUERY), RuntimeError),
    ("predict NaN output, vectors", predict_of(VPOINTS, VVALUES, VINF_QUERY), RuntimeError),
    ("predict on infinite weights", predict_of(TWO_COINCIDING, ONE_TWO, QUERIES), RuntimeError),
    # Reading a model back, pickling, restoring.
    ("properties and a round trip", read_back_and_round_trip, None),
    ("restore: late bad point", lambda: pymorvel._restore(LATE_BAD_POINT), TypeError),
    ("restore: late bad weight", lambda: pymorvel._restore(LATE_BAD_WEIGHT), ValueError),
    ("restore: a weight short", lambda: pymorvel._restore(SHORT_WEIGHTS), ValueError),
    ("pickle: infinite weights", lambda: pickle.dumps(INFINITE_WEIGHTS), ValueError),
    ("polynomial term: read back and a round trip", polynomial_round_trip, None),
    ("restore: late bad coefficient", lambda: pymorvel._restore(LATE_BAD_COEFFICIENT), TypeError),
    ("restore: infinite coefficient", lambda: pymorvel._restore(INFINITE_COEFFICIENT), ValueError),
    ("restore: a coefficient short", lambda: pymorvel._restore(SHORT_COEFFICIENTS), ValueError),
    ("restore: more monomials than samples", lambda: pymorvel._restore(DEGREE_TOO_HIGH), ValueError),
    # The opt-in smoothing, polynomial term and gradient.
    ("smoothed, polynomial f64-f64", fit_predict_repr(POINTS, VALUES, QUERIES, smoothing=SMOOTHING, degree=2), None),
    ("smoothed, polynomial vec-vec", fit_predict_repr(VPOINTS, VVALUES, VQUERIES, smoothing=0.5, degree=1), None),
    ("new: keyword-only given with five positional",
     lambda: Rbf(POINTS, VALUES, None, None, 1, smoothing=SMOOTHING), TypeError),
    ("smoothing item fails", lambda: Rbf(POINTS, VALUES, smoothing=SMOOTHING_BAD_TAIL), TypeError),
    ("smoothing negative", lambda: Rbf(POINTS, VALUES, smoothing=SMOOTHING_NEGATIVE_TAIL), ValueError),
    ("smoothing of another length", lambda: Rbf(POINTS, VALUES, smoothing=ONES), ValueError),
    ("degree not an integer", lambda: Rbf(POINTS, VALUES, degree=1.5), TypeError),
    ("degree negative", lambda: Rbf(POINTS, VALUES, degree=-1), ValueError),
    ("polynomial block rank-deficient", lambda: Rbf(COLLINEAR, VALUES, degree=1), ValueError),
    ("polynomial points of several lengths", lambda: Rbf(SHORT_VQUERIES, ONE_TWO, degree=0), ValueError),
    ("gradient query of another length", gradient_of(VPOINTS, VVALUES, SHORT_VQUERIES), ValueError),
    ("gradient text", gradient_of(POINTS, VALUES, TEXT), TypeError),
    ("gradient NaN output", gradient_of(POINTS, VALUES, INF_QUERY), RuntimeError),
]

def outcome(call):
    try:
        call()
    except BaseException as e:  # noqa: B036 - every path, PanicException included
        return type(e)
    return None


def every_path_in_turn():
    for case in CASES[:-1]:
        outcome(case[1])


# Paths one after another: what one call leaves, the next must not keep.
CASES.append(("every path in turn", every_path_in_turn, None, ROUNDS // 25, len(CASES)))


def forget_printed_exceptions():
    # Left by an earlier test, they would be replaced during this one.
    for name in ("last_type", "last_value", "last_traceback", "last_exc"):
        if hasattr(sys, name):
            setattr(sys, name, None)


MEASURES = 4  # native heap, Python's blocks, tracked objects, total reference count


def census(into, batch):
    """Writes the measures after `batch` into an array, which holds no Python
    objects that the next census would count."""
    gc.collect()
    total = sys.gettotalrefcount() if hasattr(sys, "gettotalrefcount") else 0  # debug builds only
    into[batch * MEASURES:(batch + 1) * MEASURES] = array.array(
        "q", (heap_in_use(), sys.getallocatedblocks(), len(gc.get_objects()), total))


def refcounts():
    gc.collect()
    return [sys.getrefcount(a) for a in ARGUMENTS]


def run_rounds(call, rounds, drain):
    for i in range(rounds):
        outcome(call)
        if i % 64 == 0:
            drain()
    drain()


def with_defaults(name, call, expected, rounds=ROUNDS, per_round=1):
    return pytest.param(name, call, expected, rounds, per_round, id=name)


@pytest.mark.parametrize("name, call, expected, rounds, per_round", [with_defaults(*case) for case in CASES])
def test_repeating_a_path_leaks_nothing(name, call, expected, rounds, per_round, capfd):
    # The path is the one intended before it is measured.
    assert outcome(call) is expected
    drain = capfd.readouterr  # abort reports pile up on standard error otherwise
    forget_printed_exceptions()
    before = refcounts()  # before the first round: nothing may stay behind, not even once
    # The objects of the test session (NumPy, SciPy, Dask...) are set aside, so
    # that each collection here walks only what the calls made.
    gc.freeze()
    try:
        run_rounds(call, min(WARM_UP, rounds), drain)
        measures = array.array("q", bytes(8 * MEASURES * (BATCHES + 1)))
        census(measures, 0)
        for batch in range(1, BATCHES + 1):
            run_rounds(call, rounds, drain)
            census(measures, batch)
    finally:
        gc.unfreeze()
    after = refcounts()

    changed = [(i, b, a) for i, (b, a) in enumerate(zip(before, after)) if b != a]
    assert not changed, f"reference counts of arguments (index, before, after): {changed}"
    heap, blocks, objects, total = (
        min(measures[(batch + 1) * MEASURES + k] - measures[batch * MEASURES + k] for batch in range(BATCHES))
        for k in range(MEASURES))
    calls = rounds * per_round
    # A leaked object in a hundred calls, a leaked block or reference in ten.
    assert objects < max(calls // 100, 2), f"tracked objects grew by {objects} in every batch of {calls} calls"
    assert total < max(calls // 10, 10), f"the total reference count grew by {total} in every batch of {calls} calls"
    if not SANITIZED:
        assert blocks < max(calls // 10, 10), f"Python's allocator grew by {blocks} blocks in every batch of {calls} calls"
        # One leaked native vector of a single double is at least 32 bytes with
        # malloc's header: 3200 bytes in 100 calls.
        assert heap < max(8 * calls, 2048), f"native heap grew by {heap} bytes in every batch of {calls} calls"
