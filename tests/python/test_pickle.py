"""Pickling and copying models: exact round trips that solve nothing, and the checks a state passes before a model is rebuilt."""
import copy
import math
import pickle

import pytest

import pymorvel
from pymorvel import Rbf
from support import error_of


def bits(predictions):
    """Every float as its exact bits (hex tells -0.0 from 0.0)."""
    return [[v.hex() for v in p] if isinstance(p, list) else p.hex() for p in predictions]


BIG = [[math.sin(i * 0.37) * 3.0, math.cos(i * 0.11) * 2.0] for i in range(120)]

# name: (points, values, kernel, epsilon, queries)
MODELS = {
    "numbers to numbers": ([0.0, 0.7, 2.3], [1.0, -2.0, 0.5], "gaussian", 0.8, [0.1, 1.9, -3.0]),
    "numbers to vectors": ([0.0, 0.7, 2.3], [[1.0, 2.0], [-2.0, 0.0], [0.5, 3.0]], "multiquadric", 0.5, [0.35, 5.0]),
    "vectors to numbers": ([[0.0, 0.0], [0.7, 0.4], [2.3, -1.2]], [1.0, -2.0, 0.5], "inverse_multiquadratic", -1.5,
                           [[0.2, 0.1], [1.0, 1.0]]),
    "vectors to vectors": ([[0.0, 0.0], [0.7, 0.4], [2.3, -1.2]], [[1.0, 2.0], [-2.0, 0.0], [0.5, 3.0]],
                           "thin_plate_spline", None, [[0.2, 0.1], [9.0, -9.0]]),
    # Each point keeps its own length, the empty one included.
    "ragged points": ([[0.0, 1.0], [1.0], [2.0, 3.0, 4.0], []], [1.0, 2.0, 3.0, 4.0], "multiquadric", 0.5,
                      [[0.5, 0.5], [1.0], [2.0, 3.0, 4.5]]),
    # Weights come out of such a fit with lengths of their own.
    "ragged values": ([0.0, 1.0, 2.5], [[1.0, 2.0], [3.0], [4.0, 5.0, 6.0]], "linear", None, [0.5, 2.0]),
    "cubic": ([0.0, 0.5, 2.0], [0.0, 1.0, -1.0], "cubic", None, [0.25, 1.0]),
    # Large enough for the worker pool.
    "pool-sized": (BIG, [a * a - b for a, b in BIG], "multiquadric", 0.7, BIG[:5] + [[0.3, -0.3]]),
}


@pytest.mark.parametrize("protocol", [0, 2, pickle.HIGHEST_PROTOCOL])
@pytest.mark.parametrize("name", list(MODELS))
def test_a_pickled_model_predicts_the_same_bits(name, protocol):
    x, y, kernel, epsilon, queries = MODELS[name]
    original = Rbf(x, y, kernel, epsilon)
    restored = pickle.loads(pickle.dumps(original, protocol))
    assert type(restored) is Rbf and restored is not original
    assert repr(restored) == repr(original)
    assert bits(restored.predict(queries)) == bits(original.predict(queries))
    for part in ("kernel_name", "epsilon", "points", "values", "weights"):
        assert getattr(restored, part) == getattr(original, part), part


@pytest.mark.parametrize("epsilon", [math.nan, -0.0, math.inf, -math.inf, 5e-324, 1e300])
def test_any_epsilon_survives_exactly(epsilon):
    original = Rbf([0.0, 1.0], [1.0, 2.0], "linear", epsilon)
    restored = pickle.loads(pickle.dumps(original))
    assert restored.epsilon.hex() == original.epsilon.hex()
    assert repr(restored) == repr(original)


def test_a_model_pickles_to_a_format_version_and_its_parts():
    model = Rbf([0.0, 1.0], [[1.0], [2.0]], "cubic", 2)
    restore, (state,) = model.__reduce__()
    # pickle names the function by module and name; Rbf itself is never looked up.
    assert restore is pymorvel._restore
    assert (restore.__module__, restore.__qualname__) == ("pymorvel", "_restore")
    assert state == (1, "cubic", 2.0, [0.0, 1.0], [[1.0], [2.0]], model.weights)


def test_copies_are_the_model_itself():
    model = Rbf([0.0, 1.0], [1.0, 2.0])
    assert copy.copy(model) is model
    assert copy.deepcopy(model) is model
    held = copy.deepcopy({"a": [model], "b": model})
    assert held["a"][0] is model and held["b"] is model


def test_restoring_solves_nothing_and_keeps_the_weights_it_is_given():
    # Three coinciding points: a fit refuses them ("Exact zero pivot ..."), so
    # only a restore that solves nothing can build this model. With "linear"
    # every kernel value at q = 2 is exactly 4.
    model = pymorvel._restore((1, "linear", 1.0, [0.0, 0.0, 0.0], [1.0, 2.0, 3.0], [1.0, 0.5, 0.25]))
    assert model.weights == [1.0, 0.5, 0.25]
    assert model.predict([2.0]) == [(0.25 * 4.0) + ((0.5 * 4.0) + ((1.0 * 4.0) + 0.0))]


@pytest.mark.parametrize("name", ["numbers to numbers", "vectors to vectors", "pool-sized"])
def test_altered_weights_are_used_as_they_are(name):
    # Doubling every weight doubles every term and every sum exactly, where a
    # refit from the unchanged values would give the original predictions.
    x, y, kernel, epsilon, queries = MODELS[name]
    original = Rbf(x, y, kernel, epsilon)
    _, (state,) = original.__reduce__()
    double = [[2.0 * c for c in w] if isinstance(w, list) else 2.0 * w for w in state[5]]
    altered = pymorvel._restore(state[:5] + (double,))
    expected = [[2.0 * c for c in p] if isinstance(p, list) else 2.0 * p for p in original.predict(queries)]
    assert bits(altered.predict(queries)) == bits(expected)


def test_a_state_of_tuples_and_float_subclasses_is_accepted():
    np = pytest.importorskip("numpy")
    state = (1, "gaussian", np.float64(0.5), ((0.0, 1.0), (2.0,)), (np.float64(1.0), 2.0), (0.25, -0.5))
    model = pymorvel._restore(state)
    assert (model.point_kind, model.value_kind) == ("vector", "number")
    assert model.points == [[0.0, 1.0], [2.0]] and model.values == [1.0, 2.0]


def test_a_model_whose_weights_are_infinite_refuses_to_pickle_but_copies():
    model = Rbf([0.0, 0.0], [1.0, 2.0])  # a fit that ends with weights -inf and +inf
    e = error_of(lambda: pickle.dumps(model))
    assert (type(e), e.args) == (ValueError, ("cannot pickle an Rbf whose weights are not all finite",))
    assert copy.deepcopy(model) is model


GOOD = (1, "multiquadric", 0.5, [0.0, 1.0, 2.0], [1.0, 2.0, 3.0], [0.5, -0.25, 1.0])
VECTOR_GOOD = (1, "gaussian", 1.0, [[0.0], [1.0, 2.0]], [[1.0, 2.0], [3.0]], [[0.5, 1.0], [2.0]])


def changed(state=GOOD, **items):
    """`state` with the named items replaced, or cut short with `length`."""
    names = ("version", "kernel", "epsilon", "points", "values", "weights")
    out = tuple(items.get(n, v) for n, v in zip(names, state))
    return out[:items["length"]] if "length" in items else out


def not_floats(field):
    return f"Rbf state: {field} must be a list of floats or a list of lists of floats"


LENGTH = "Rbf state must hold 6 items: format version, kernel name, epsilon, points, values and weights"
VERSION = "Rbf state: unsupported format version"
UNKNOWN_KERNEL = "Rbf state: unknown kernel name"
KINDS = "Rbf state: values and weights must both be numbers or both be vectors"
COUNTS = "Rbf state: points, values and weights must be non-empty and equally many"
NOT_FINITE = "Rbf state: every weight must be finite"


@pytest.mark.parametrize("state, error, message", [
    # The envelope and the format version, which is read before the length.
    (list(GOOD), TypeError, "Rbf state must be a tuple"),
    (None, TypeError, "Rbf state must be a tuple"),
    ((), ValueError, LENGTH),
    (changed(length=5), ValueError, LENGTH),
    (changed(length=1), ValueError, LENGTH),
    (GOOD + (None,), ValueError, LENGTH),
    (changed(version="1"), TypeError, "Rbf state: the format version must be an int"),
    (changed(version=1.0), TypeError, "Rbf state: the format version must be an int"),
    (changed(version=True), TypeError, "Rbf state: the format version must be an int"),
    (changed(version=2), ValueError, VERSION),
    (changed(version=0), ValueError, VERSION),
    (changed(version=2**100), ValueError, VERSION),
    ((2, "a later layout"), ValueError, VERSION),
    # Kernel and epsilon.
    (changed(kernel=3), TypeError, "Rbf state: the kernel name must be a str"),
    (changed(kernel=b"gaussian"), TypeError, "Rbf state: the kernel name must be a str"),
    (changed(kernel="Gaussian"), ValueError, UNKNOWN_KERNEL),
    (changed(kernel="gaussian\0"), ValueError, UNKNOWN_KERNEL),
    (changed(kernel="gauss\ud800"), ValueError, UNKNOWN_KERNEL),
    (changed(epsilon=1), TypeError, "Rbf state: epsilon must be a float"),
    (changed(epsilon="0.5"), TypeError, "Rbf state: epsilon must be a float"),
    (changed(epsilon=None), TypeError, "Rbf state: epsilon must be a float"),
    # Lists and their items: floats only, one kind per list.
    (changed(points="012"), TypeError, not_floats("points")),
    (changed(points={0.0, 1.0, 2.0}), TypeError, not_floats("points")),
    (changed(points=iter([0.0, 1.0, 2.0])), TypeError, not_floats("points")),
    (changed(points=[0.0, 1, 2.0]), TypeError, not_floats("points")),
    (changed(points=[0, 1.0, 2.0]), TypeError, not_floats("points")),
    (changed(points=[0.0, [1.0], 2.0]), TypeError, not_floats("points")),
    (changed(points=[[0.0], 1.0, [2.0]]), TypeError, not_floats("points")),
    (changed(points=[[0.0], [1.0], [2.0, None]]), TypeError, not_floats("points")),
    (changed(points=[[0.0], [1.0], "ab"]), TypeError, not_floats("points")),
    (changed(values=[1.0, 2.0, "3"]), TypeError, not_floats("values")),
    (changed(weights=[0.5, -0.25, 1]), TypeError, not_floats("weights")),
    (changed(VECTOR_GOOD, weights=[[0.5, 1.0], [2]]), TypeError, not_floats("weights")),
    (changed(VECTOR_GOOD, values=[[1.0, 2.0], (3.0, 4)]), TypeError, not_floats("values")),
    # Shapes and counts.
    (changed(values=[[1.0], [2.0], [3.0]]), ValueError, KINDS),
    (changed(VECTOR_GOOD, weights=[0.5, 2.0]), ValueError, KINDS),
    (changed(points=[0.0, 1.0]), ValueError, COUNTS),
    (changed(values=[1.0, 2.0, 3.0, 4.0]), ValueError, COUNTS),
    (changed(weights=[0.5, -0.25]), ValueError, COUNTS),
    (changed(weights=[]), ValueError, COUNTS),
    (changed(values=[]), ValueError, COUNTS),
    (changed(points=[], values=[], weights=[]), ValueError, COUNTS),
    # Weights.
    (changed(weights=[0.5, math.nan, 1.0]), ValueError, NOT_FINITE),
    (changed(weights=[0.5, -0.25, -math.inf]), ValueError, NOT_FINITE),
    (changed(VECTOR_GOOD, weights=[[0.5, 1.0], [math.inf]]), ValueError, NOT_FINITE),
], ids=lambda v: repr(v)[:60] if isinstance(v, (tuple, list)) else None)
def test_a_damaged_state_is_refused(state, error, message):
    e = error_of(lambda: pymorvel._restore(state))
    assert (type(e), e.args) == (error, (message,))


def test_a_damaged_pickle_is_refused():
    # The state as it travels: a pickle edited on the way.
    data = pickle.dumps(Rbf([0.0, 1.0], [1.0, 2.0], "linear"), 0)
    assert b"linear" in data
    e = error_of(lambda: pickle.loads(data.replace(b"linear", b"lineal")))
    assert (type(e), e.args) == (ValueError, (UNKNOWN_KERNEL,))
