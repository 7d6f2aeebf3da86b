"""The opt-in smoothing, polynomial term and gradient through the Python surface: binding and
conversion of the new arguments, agreement with SciPy, gradients against finite differences."""
import math
import random
import warnings
from fractions import Fraction

import pytest

from pymorvel import Rbf
from support import Index, Raising, error_of

X = [0.0, 0.4, 1.1, 1.7, 2.5]
Y = [1.0, -0.5, 0.25, 2.0, 0.0]


def hexes(values):
    """Bit patterns of a (nested) result, so that equality means the same bits."""
    return [hexes(v) if isinstance(v, list) else v.hex() for v in values]


# ------------------------------------------------------------------ binding

@pytest.mark.parametrize("args, kwargs, message", [
    ((X, Y, "linear", 1.0, 0.5), {"smoothing": 1.0},
     "Rbf.__new__() takes from 2 to 4 positional arguments but 5 positional arguments "
     "(and 1 keyword-only argument) were given"),
    ((X, Y, None, None, 1, 2), {"degree": 1, "smoothing": 0.0},
     "Rbf.__new__() takes from 2 to 4 positional arguments but 6 positional arguments "
     "(and 2 keyword-only arguments) were given"),
    # Only the keyword-only parameters are counted, as the interpreter counts them.
    ((X, Y, None, None, 1), {"x": 1, "z": 2}, "Rbf.__new__() takes from 2 to 4 positional arguments but 5 were given"),
    ((X,), {"smoothing": 1.0}, "Rbf.__new__() missing 1 required positional argument: 'y'"),
    ((X, Y), {"smoothing": 1.0, "degre": 1}, "Rbf.__new__() got an unexpected keyword argument 'degre'"),
])
def test_keyword_only_binding_errors(args, kwargs, message):
    e = error_of(lambda: Rbf(*args, **kwargs))
    assert (type(e), e.args) == (TypeError, (message,))


@pytest.mark.parametrize("kwargs, error, message", [
    ({"smoothing": "0.5"}, TypeError, "argument 'smoothing': must be real number, not str"),
    ({"smoothing": None}, TypeError, "argument 'smoothing': must be real number, not NoneType"),
    ({"smoothing": {0.5}}, TypeError, "argument 'smoothing': must be real number, not set"),
    ({"smoothing": [0.0, None, 0.0, 0.0, 0.0]}, TypeError, "argument 'smoothing': must be real number, not NoneType"),
    ({"smoothing": Raising(TypeError("own"))}, TypeError, "argument 'smoothing': own"),
    ({"degree": 1.0}, TypeError, "argument 'degree': 'float' object cannot be interpreted as an integer"),
    ({"degree": "1"}, TypeError, "argument 'degree': 'str' object cannot be interpreted as an integer"),
    # A bool is a truth value, not a degree, here as in a pickled state.
    ({"degree": True}, TypeError, "argument 'degree': 'bool' object cannot be interpreted as an integer"),
    ({"degree": False}, TypeError, "argument 'degree': 'bool' object cannot be interpreted as an integer"),
    ({"degree": -1}, ValueError, "Degree must be None or a non-negative integer"),
])
def test_new_argument_refusals(kwargs, error, message):
    e = error_of(lambda: Rbf(X, Y, **kwargs))
    assert (type(e), e.args) == (error, (message,))


@pytest.mark.parametrize("kwargs, error", [
    ({"smoothing": Raising(ArithmeticError("own"))}, ArithmeticError),
    ({"degree": 2**70}, OverflowError),
    ({"degree": -(2**70)}, OverflowError),
])
def test_other_conversion_errors_pass_unchanged(kwargs, error):
    assert type(error_of(lambda: Rbf(X, Y, **kwargs))) is error


def test_argument_order_conversions_and_degree_sign_before_the_kernel_then_values_after_the_shapes():
    assert error_of(lambda: Rbf(X, Y, "nope", smoothing="a")).args[0].startswith("argument 'smoothing'")
    assert error_of(lambda: Rbf(X, Y, "nope", degree=-1)).args == ("Degree must be None or a non-negative integer",)
    assert error_of(lambda: Rbf("ab", Y, smoothing=-1.0)).args == ("Unsupported input shapes for x and y",)
    assert error_of(lambda: Rbf(X, Y, smoothing=-1.0)).args == ("Smoothing must be finite and non-negative",)


@pytest.mark.parametrize("kwargs", [
    {"smoothing": 0.0}, {"smoothing": 0}, {"smoothing": -0.0}, {"smoothing": False}, {"smoothing": [0.0] * 5},
    {"degree": None}, {"smoothing": 0.0, "degree": None},
])
def test_explicit_defaults_change_no_bit(kwargs):
    for x, y in ((X, Y), ([[v, v * v] for v in X], [[v, 1.0] for v in Y])):
        plain = Rbf(x, y, "multiquadric", 0.7)
        model = Rbf(x, y, "multiquadric", 0.7, **kwargs)
        assert repr(model) == repr(plain)
        assert hexes(model.predict(x)) == hexes(plain.predict(x))


@pytest.mark.parametrize("smoothing", [
    0.25, 1, Fraction(1, 4), Index(1), (0.25,) * 5, range(1, 6), bytes([1, 2, 3, 4, 5]),
])
def test_smoothing_takes_numbers_and_sequences_of_numbers(smoothing):
    as_float = [float(s) for s in smoothing] if hasattr(smoothing, "__len__") else float(smoothing)
    assert hexes(Rbf(X, Y, smoothing=smoothing).predict(X)) == hexes(Rbf(X, Y, smoothing=as_float).predict(X))


def test_smoothing_and_degree_take_numpy():
    np = pytest.importorskip("numpy")
    amounts = np.linspace(0.1, 0.5, 5)
    reference = Rbf(X, Y, smoothing=amounts.tolist(), degree=1).predict(X)
    for smoothing in (amounts, amounts[::-1][::-1], tuple(amounts)):
        assert hexes(Rbf(X, Y, smoothing=smoothing, degree=np.int64(1)).predict(X)) == hexes(reference)
    assert hexes(Rbf(X, Y, smoothing=np.float64(0.5), degree=np.int64(1)).predict(X)) == \
        hexes(Rbf(X, Y, smoothing=0.5, degree=1).predict(X))


def test_smoothing_trades_closeness_for_smoothness():
    exact = Rbf(X, Y, "multiquadric", 0.5).predict(X)
    smooth = Rbf(X, Y, "multiquadric", 0.5, smoothing=10.0).predict(X)
    assert exact == pytest.approx(Y, abs=1e-9)
    assert max(abs(a - b) for a, b in zip(smooth, Y)) > 0.1


# ------------------------------------------------------------------ agreement with SciPy

def _sample_points(rng, dimension, n):
    """Points in the unit cube no closer than chance makes them, and their
    typical spacing. Numbers sit on a jittered grid: uniform numbers bunch up,
    and a kernel matrix over a bunched pair is nearly singular."""
    if dimension == 1:
        return [(i + 0.5 + 0.6 * (rng.random() - 0.5)) / n for i in range(n)], 1 / n
    return [[rng.random() for _ in range(dimension)] for _ in range(n)], n ** (-1 / dimension)


def _scipy_case(dimension, vector_values, seed):
    rng = random.Random(seed)
    points, spacing = _sample_points(rng, dimension, 40)
    first = [p if dimension == 1 else p[0] for p in points]
    last = [p if dimension == 1 else p[-1] for p in points]
    values = [math.sin(3 * a) + math.cos(2 * b) + 0.1 * rng.gauss(0, 1) for a, b in zip(first, last)]
    if vector_values:
        values = [[v, 1.0 - 2.0 * v] for v in values]
    queries = [[rng.random() * 1.2 - 0.1 for _ in range(dimension)] for _ in range(60)]
    if dimension == 1:
        queries = [q[0] for q in queries]
    return points, values, queries, spacing


# Epsilon in units of the sample spacing. Gaussian e and multiquadric e are
# SciPy's epsilon 1 / (e sqrt 2) and 1 / e; our multiquadric is -e times
# SciPy's, so its smoothing s is SciPy's -s / e. Well conditioned: the
# smoothed systems, and unsmoothed ones whose epsilon keeps the kernel matrix
# far from singular.
SCIPY_CASES = [
    ("gaussian", 2.0, 0.01), ("gaussian", 4.4, 1e-3), ("gaussian", 0.5, 0.0),
    ("multiquadric", 2.0, 0.01), ("multiquadric", 4.4, 0.1), ("multiquadric", 0.3, 0.0),
]


@pytest.mark.parametrize("kernel, epsilon, smoothing", SCIPY_CASES)
@pytest.mark.parametrize("degree", [None, 0, 1, 2])
@pytest.mark.parametrize("dimension, vector_values, per_sample", [(2, False, False), (1, True, True), (3, False, True)])
def test_agrees_with_scipy(kernel, epsilon, smoothing, degree, dimension, vector_values, per_sample):
    np = pytest.importorskip("numpy")
    interpolate = pytest.importorskip("scipy.interpolate")
    points, values, queries, spacing = _scipy_case(dimension, vector_values, seed=dimension)
    epsilon *= spacing
    amounts = [smoothing * (1 + i % 3) for i in range(len(points))] if per_sample else smoothing
    ours = np.asarray(Rbf(points, values, kernel, epsilon, smoothing=amounts, degree=degree).predict(queries))
    shape = 1 / (epsilon * math.sqrt(2)) if kernel == "gaussian" else 1 / epsilon
    scipy_smoothing = np.asarray(amounts, dtype=float) * (1.0 if kernel == "gaussian" else -1.0 / epsilon)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # SciPy asks for degree >= 0 with its multiquadric
        theirs = interpolate.RBFInterpolator(
            np.asarray(points, dtype=float).reshape(len(points), -1), np.asarray(values), kernel=kernel,
            epsilon=shape, smoothing=scipy_smoothing, degree=-1 if degree is None else degree,
        )(np.asarray(queries, dtype=float).reshape(len(queries), -1))
    assert np.max(np.abs(ours - theirs)) <= 1e-9 * np.max(np.abs(theirs))


# ------------------------------------------------------------------ gradients

def _central_difference(model, point, k, h):
    def at(offset):
        if isinstance(point, list):
            moved = list(point)
            moved[k] += offset
            return model.predict([moved])[0]
        return model.predict([point + offset])[0]
    plus, minus = at(h), at(-h)
    if isinstance(plus, list):
        return [(a - b) / (2 * h) for a, b in zip(plus, minus)]
    return (plus - minus) / (2 * h)


def _as_table(entry, vector_points, vector_values):
    """One query's derivative as [component][coordinate]."""
    if not vector_points:
        return [[e] for e in entry] if vector_values else [[entry]]
    return entry if vector_values else [entry]


@pytest.mark.parametrize("kernel", ["gaussian", "multiquadric", "inverse_multiquadratic"])
@pytest.mark.parametrize("vector_points, vector_values", [(False, False), (False, True), (True, False), (True, True)])
@pytest.mark.parametrize("options", [{}, {"degree": 2, "smoothing": 1e-3}, {"degree": 0}])
def test_gradient_matches_central_differences(kernel, vector_points, vector_values, options):
    rng = random.Random(5)
    points, spacing = _sample_points(rng, 2 if vector_points else 1, 30)
    values = [[rng.gauss(0, 1), rng.gauss(0, 1), rng.gauss(0, 1)] if vector_values else rng.gauss(0, 1)
              for _ in points]
    model = Rbf(points, values, kernel, spacing, **options)
    queries = [[rng.random(), rng.random()] if vector_points else rng.random() for _ in range(10)]
    for query, entry in zip(queries, model.gradient(queries)):
        table = _as_table(entry, vector_points, vector_values)
        scale = max(abs(v) for row in table for v in row)
        for k in range(2 if vector_points else 1):
            difference = _central_difference(model, query, k, 3e-5 * spacing)
            column = difference if isinstance(difference, list) else [difference]
            for c, d in enumerate(column):
                assert abs(table[c][k] - d) <= 1e-6 * scale, (query, c, k)


@pytest.mark.parametrize("points, values, queries, expected", [
    ([0.0, 1.0], [0.0, 1.0], [0.5, 2.0], [float, float]),
    ([0.0, 1.0], [[0.0, 1.0, 2.0], [1.0, 0.0, 2.0]], [0.5], [[float] * 3]),
    ([[0.0, 0.0], [1.0, 1.0]], [0.0, 1.0], [[0.5, 0.5], [0.5, 0.5, 7.0], [0.5]], [[float] * 2, [float] * 3, [float]]),
    ([[0.0, 0.0], [1.0, 1.0]], [[0.0, 1.0], [1.0, 0.0]], [[0.5, 0.5]], [[[float] * 2, [float] * 2]]),
    ([0.0, 1.0], [0.0, 1.0], [], []),
], ids=["f64-f64", "f64-vec", "vec-f64 ragged queries", "vec-vec", "empty"])
def test_gradient_shapes(points, values, queries, expected):
    def kinds(v):
        return [kinds(e) for e in v] if isinstance(v, list) else type(v)
    assert kinds(Rbf(points, values, "multiquadric").gradient(queries)) == expected


def test_gradient_by_hand_through_the_binding():
    # One sample, kernel s: the weight is 1 / 2^-52, and the derivative w * 2 (x - p).
    assert Rbf([0.0], [1.0], "linear").gradient([0.5, 0.0]) == [2.0 ** 52, 0.0]
    assert Rbf([[0.0, 0.0]], [[1.0, 2.0]], "linear").gradient([[0.5, 1.0]]) == \
        [[[2.0 ** 52, 2.0 ** 53], [2.0 ** 53, 2.0 ** 54]]]


@pytest.mark.parametrize("model, query, error, message", [
    (Rbf([[0.0, 0.0], [1.0, 0.0], [0.0, 1.0]], [0.0, 1.0, 2.0], degree=1), [[0.5, 0.5], [0.5]], ValueError,
     "Polynomial term needs points of length 2: query point 1 has length 1"),
    (Rbf([0.0, 1.0], [0.0, 1.0], "linear"), [0.5, math.inf], RuntimeError, "NaN values in output"),
    (Rbf([0.0, 1.0], [0.0, 1.0]), 0.5, TypeError, "'float' object cannot be converted to 'Sequence'"),
    (Rbf([0.0, 1.0], [0.0, 1.0]), [[0.5]], TypeError, "must be real number, not list"),
])
@pytest.mark.parametrize("method", ["predict", "gradient"])
def test_evaluation_refusals_are_shared(method, model, query, error, message):
    e = error_of(lambda: getattr(model, method)(query))
    assert (type(e), e.args) == (error, (message,))


@pytest.mark.parametrize("args, kwargs, message", [
    ((), {}, "Rbf.gradient() missing 1 required positional argument: 'x_new'"),
    (([0.5], [1.5]), {}, "Rbf.gradient() takes 1 positional arguments but 2 were given"),
    ((), {"x": [0.5]}, "Rbf.gradient() got an unexpected keyword argument 'x'"),
])
def test_gradient_binding_errors(args, kwargs, message):
    e = error_of(lambda: Rbf(X, Y).gradient(*args, **kwargs))
    assert (type(e), e.args) == (TypeError, (message,))
    assert Rbf(X, Y).gradient(x_new=[0.5]) == Rbf(X, Y).gradient([0.5])


# ------------------------------------------------------------------ the polynomial term reproduces polynomials

def _design_matrix_condition(np, points, epsilon, degree_one):
    p = np.asarray(points)
    s = ((p[:, None, :] - p[None, :, :]) ** 2).sum(-1)
    a = np.sqrt(epsilon * epsilon + np.maximum(s, 2.0 ** -52))
    if degree_one:
        poly = np.hstack([np.ones((len(p), 1)), p])
        a = np.block([[a, poly], [poly.T, np.zeros((poly.shape[1], poly.shape[1]))]])
    return np.linalg.cond(a)


@pytest.mark.parametrize("dimension", [1, 2, 3])
def test_degree_one_reproduces_linear_functions(dimension):
    np = pytest.importorskip("numpy")
    rng = random.Random(dimension)
    coefficients = [rng.uniform(-3, 3) for _ in range(dimension + 1)]

    def linear_function(p):
        return coefficients[0] + sum(c * v for c, v in zip(coefficients[1:], p))

    points = [[rng.uniform(-1, 1) for _ in range(dimension)] for _ in range(25)]
    queries = [[rng.uniform(-3, 3) for _ in range(dimension)] for _ in range(50)]
    values = [linear_function(p) for p in points]
    predicted = Rbf(points, values, "multiquadric", 0.5, degree=1).predict(queries)
    condition = _design_matrix_condition(np, points, 0.5, True)
    biggest = max(abs(linear_function(q)) for q in queries)
    for q, v in zip(queries, predicted):
        assert abs(v - linear_function(q)) <= 8 * 2.0 ** -52 * condition * biggest
    # Without the polynomial term the same samples are not reproduced away from them.
    plain = Rbf(points, values, "multiquadric", 0.5).predict(queries)
    assert max(abs(v - linear_function(q)) for q, v in zip(queries, plain)) > 1e-3
