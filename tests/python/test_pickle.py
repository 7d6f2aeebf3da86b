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


@pytest.mark.parametrize("options", [{}, {"degree": 1}], ids=["plain", "polynomial"])
def test_copies_are_the_model_itself(options):
    model = Rbf([0.0, 1.0], [1.0, 2.0], **options)
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


# ----- The polynomial term travels in format version 2.

PLANE = [[0.0, 0.0], [1.0, 0.1], [0.2, 1.3], [1.7, 0.9], [0.6, 0.5], [2.1, -0.4], [0.9, 2.2], [-0.8, 1.1],
         [1.4, -1.2], [-0.3, -0.7]]
LINE = [-1.1, -0.4, 0.0, 0.3, 0.9, 1.6, 2.0, 2.8, 3.3, 4.1]
# name: (points, values, queries); the queries lie between the samples, on
# one, and far outside, where the polynomial term dominates.
SHAPES = {
    "numbers to numbers": (LINE, [math.cos(p) + p for p in LINE], [0.45, 2.0, -30.0, 55.5]),
    "numbers to vectors": (LINE, [[math.cos(p), p * p] for p in LINE], [0.45, 2.0, -30.0]),
    "vectors to numbers": (PLANE, [a * b - a for a, b in PLANE], [[0.5, 0.5], [1.0, 0.1], [-20.0, 35.0]]),
    "vectors to vectors": (PLANE, [[a - b, a * a, 1.0] for a, b in PLANE], [[0.5, 0.5], [1.0, 0.1], [-20.0, 35.0]]),
    # Weights and coefficients come out of such a fit with lengths of their own.
    "ragged values": (LINE, [[p, 1.0] if i % 3 else [p] for i, p in enumerate(LINE)], [0.45, 9.0]),
}
KERNELS = ("gaussian", "multiquadric", "inverse_multiquadratic", "thin_plate_spline", "linear", "cubic")


@pytest.mark.parametrize("smoothing", [0.0, 0.3])
@pytest.mark.parametrize("degree", [0, 1, 2])
@pytest.mark.parametrize("kernel", KERNELS)
@pytest.mark.parametrize("shape", list(SHAPES))
def test_a_polynomial_model_comes_back_to_the_bit(shape, kernel, degree, smoothing):
    x, y, queries = SHAPES[shape]
    original = Rbf(x, y, kernel, 0.8, smoothing=smoothing, degree=degree)
    restored = pickle.loads(pickle.dumps(original, pickle.HIGHEST_PROTOCOL))
    assert bits(restored.predict(queries)) == bits(original.predict(queries))
    assert gradient_bits(restored.gradient(queries)) == gradient_bits(original.gradient(queries))
    assert (restored.degree, restored.polynomial_coefficients) == (degree, original.polynomial_coefficients)
    # Pickled again, it is the same state: nothing is lost on the way.
    assert restored.__reduce__() == original.__reduce__()


def gradient_bits(gradients):
    return [bits(g) if isinstance(g, list) else g.hex() for g in gradients]


def test_a_polynomial_model_pickles_to_format_version_2():
    model = Rbf([0.0, 1.0, 3.0], [[1.0], [2.0], [0.5]], "cubic", 2, degree=1)
    _, (state,) = model.__reduce__()
    assert state == (2, "cubic", 2.0, [0.0, 1.0, 3.0], [[1.0], [2.0], [0.5]], model.weights, 1,
                     model.polynomial_coefficients)
    assert len(state[7]) == 2 and all(type(c) is float for (c,) in state[7])


def test_a_plain_model_still_pickles_to_the_bytes_of_format_version_1():
    # Written by the release before the polynomial term travelled: a plain
    # model pickles to the same bytes, which that release reads, and they load.
    old = (b"cpymorvel\n_restore\np0\n((I1\nVlinear\np1\nF1.0\n(lp2\nF0.0\naF1.0\na(lp3\nF1.0\naF2.0\na"
           b"(lp4\nF1.9999999999999998\naF0.9999999999999996\natp5\ntp6\nRp7\n.")
    model = Rbf([0.0, 1.0], [1.0, 2.0], "linear")
    assert pickle.dumps(model, 0) == old
    assert pickle.loads(old).__reduce__() == model.__reduce__()


def test_restoring_a_polynomial_model_solves_nothing():
    # Three coinciding points: a fit refuses them, so only a restore that
    # solves nothing can build this model. The basis maps [0, 1] onto [-1, 1]:
    # u = (q - 0.5) / 0.5 = 3 and du/dq = 2 at q = 2, where "linear" gives
    # the kernel values 4, 4, 4, 1 and the slopes 1.
    points, weights = [0.0, 0.0, 0.0, 1.0], [1.0, 0.5, 0.25, 0.125]
    with pytest.raises(ValueError, match="Exact zero pivot"):
        Rbf(points, [1.0, 2.0, 3.0, 4.0], "linear", degree=1)
    model = pymorvel._restore((2, "linear", 1.0, points, [1.0, 2.0, 3.0, 4.0], weights, 1, [2.0, 3.0]))
    kernel_sum = (0.125 * 1.0) + ((0.25 * 4.0) + ((0.5 * 4.0) + ((1.0 * 4.0) + 0.0)))
    assert model.predict([2.0]) == [(3.0 * 3.0) + ((2.0 * 1.0) + kernel_sum)]
    slopes = (0.125 * 2.0) + ((0.25 * 4.0) + ((0.5 * 4.0) + ((1.0 * 4.0) + 0.0)))
    assert model.gradient([2.0]) == [(3.0 * 2.0) + slopes]


POLY = (2, "multiquadric", 0.5, [0.0, 1.0, 2.0], [1.0, 2.0, 3.0], [0.5, -0.25, 1.0], 1, [0.5, 2.0])
VECTOR_POLY = (2, "gaussian", 1.0, [[0.0], [1.0]], [[1.0, 2.0], [3.0]], [[0.5, 1.0], [2.0]], 0, [[1.0, -1.0]])
DEGREE_NOT_INT = "Rbf state: the degree must be an int"
DEGREE_RANGE = "Rbf state: the degree must lie between 0 and sys.maxsize"
COEFFICIENT_KINDS = "Rbf state: values and coefficients must both be numbers or both be vectors"


def changed_polynomial(state=POLY, **items):
    return changed(state[:6], **items) + tuple(items.get(n, v) for n, v in zip(("degree", "coefficients"), state[6:]))


@pytest.mark.parametrize("state, error, message", [
    # A layout of one version with the length of the other.
    (POLY[:6], ValueError, VERSION),
    (POLY[:7], ValueError, VERSION),
    (POLY + (None,), ValueError, VERSION),
    (changed_polynomial(version=1), ValueError, LENGTH),
    (changed_polynomial(version=3), ValueError, VERSION),
    # Read in order: the envelope's items, then the degree, then the coefficients' form.
    (changed_polynomial(kernel="Gaussian", degree=-1), ValueError, UNKNOWN_KERNEL),
    (changed_polynomial(values=[[1.0]] * 3, degree=-1), ValueError, KINDS),
    (changed_polynomial(degree=-1, coefficients=None), ValueError, DEGREE_RANGE),
    (changed_polynomial(degree=True), TypeError, DEGREE_NOT_INT),
    (changed_polynomial(degree=1.0), TypeError, DEGREE_NOT_INT),
    (changed_polynomial(degree="1"), TypeError, DEGREE_NOT_INT),
    (changed_polynomial(degree=None), TypeError, DEGREE_NOT_INT),
    (changed_polynomial(degree=2**63), ValueError, DEGREE_RANGE),
    (changed_polynomial(degree=-(2**100)), ValueError, DEGREE_RANGE),
    (changed_polynomial(coefficients=None), TypeError, not_floats("coefficients")),
    (changed_polynomial(coefficients={0.5, 2.0}), TypeError, not_floats("coefficients")),
    (changed_polynomial(coefficients=[0.5, 2]), TypeError, not_floats("coefficients")),
    (changed_polynomial(coefficients=["0.5", 2.0]), TypeError, not_floats("coefficients")),
    (changed_polynomial(VECTOR_POLY, coefficients=[[1.0, None]]), TypeError, not_floats("coefficients")),
    (changed_polynomial(coefficients=[[0.5], [2.0]]), ValueError, COEFFICIENT_KINDS),
    (changed_polynomial(VECTOR_POLY, coefficients=[1.0]), ValueError, COEFFICIENT_KINDS),
    # The lists' items are read before anything is counted.
    (changed_polynomial(weights=[0.5], coefficients=[0.5, 2]), TypeError, not_floats("coefficients")),
    # An empty list takes the values' form, then fails the count.
    (changed_polynomial(VECTOR_POLY, coefficients=[]), ValueError,
     "Rbf state: the polynomial term needs one coefficient per monomial: got 0 for 1 monomials"),
    # The largest degree a fit takes is read, and refused as a fit would refuse it.
    (changed_polynomial(degree=2**63 - 1), ValueError,
     "Rbf state: Polynomial term has 9223372036854775808 monomials, more than the sample count 3"),
], ids=lambda v: repr(v)[:60] if isinstance(v, (tuple, list)) else None)
def test_a_damaged_polynomial_state_is_refused(state, error, message):
    e = error_of(lambda: pymorvel._restore(state))
    assert (type(e), e.args) == (error, (message,))


# Points without coordinates have the constant alone for a basis, whatever the degree.
@pytest.mark.parametrize("state", [POLY, VECTOR_POLY,
                                   changed_polynomial(VECTOR_POLY, points=[[], []], degree=2**63 - 1)])
def test_a_made_polynomial_state_shows_its_parts(state):
    model = pymorvel._restore(state)
    assert (model.degree, model.polynomial_coefficients) == state[6:]
    assert (model.points, model.values, model.weights) == state[3:6]
    assert model.__reduce__()[1] == (state,)
