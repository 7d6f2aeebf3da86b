"""SciPy's scale-free kernels and the inverse quadratic: agreement with SciPy, their minimum degrees, pickling and patches."""
import math
import pickle

import pytest

import pymorvel
from pymorvel import Rbf
from support import error_of

np = pytest.importorskip("numpy")
interpolate = pytest.importorskip("scipy.interpolate")

# pymorvel's name, SciPy's, and SciPy's epsilon for pymorvel's e (SciPy's
# epsilon multiplies r, pymorvel's divides it). The shape kernels agree up to a
# constant factor, which changes the weights, not the interpolant.
SCIPY_NAMES = [
    ("polyharmonic_1", "linear", lambda e: 1.0),
    ("polyharmonic_2", "thin_plate_spline", lambda e: 1.0),
    ("polyharmonic_3", "cubic", lambda e: 1.0),
    ("polyharmonic_5", "quintic", lambda e: 1.0),
    ("inverse_quadratic", "inverse_quadratic", lambda e: 1.0 / e),
    ("gaussian", "gaussian", lambda e: 1.0 / (e * math.sqrt(2.0))),
    ("multiquadric", "multiquadric", lambda e: 1.0 / e),
    ("inverse_multiquadratic", "inverse_multiquadric", lambda e: 1.0 / e),
]
NEW_KERNELS = ["polyharmonic_1", "polyharmonic_2", "polyharmonic_3", "polyharmonic_5", "inverse_quadratic"]
MINIMUM_DEGREE = {"polyharmonic_1": 0, "polyharmonic_2": 1, "polyharmonic_3": 1, "polyharmonic_5": 2}
EPSILON = 2.5


def scattered(n, dimension, seed):
    """Well-separated points in a box 10 wide: off the diagonal the kernels
    dwarf the floor 2**-52 that pymorvel evaluates coinciding points at."""
    rng = np.random.default_rng(seed)
    grid = np.stack(np.meshgrid(*[np.arange(n)] * dimension), -1).reshape(-1, dimension)[: n ** dimension]
    return (grid * (10.0 / n) + rng.uniform(0.1, 0.6, grid.shape)).astype(float)


def samples(dimension):
    x = scattered(5 if dimension == 2 else 14, dimension, 3)
    y = np.sin(x.sum(axis=1) * 0.4) + 0.05 * (x ** 2).sum(axis=1)
    queries = scattered(4 if dimension == 2 else 9, dimension, 8) + 0.37
    return (x, y, queries) if dimension == 2 else (x[:, 0], y, queries[:, 0])


def pair(kernel, dimension, smoothing, degree):
    """pymorvel's model and SciPy's for the same data; degree None leaves both at their defaults.
    pymorvel's diagonal is -r at r = 2**-26, the floor, where SciPy's is 0: to SciPy a smoothing."""
    scipy_name, scipy_epsilon = next((s, f) for k, s, f in SCIPY_NAMES if k == kernel)
    x, y, queries = samples(dimension)
    ours = Rbf(x, y, kernel, EPSILON, smoothing=smoothing, degree=degree)
    extra = {} if degree is None else {"degree": degree}
    floor = -2.0 ** -26 if kernel == "polyharmonic_1" else 0.0
    theirs = interpolate.RBFInterpolator(x.reshape(len(x), -1), y, kernel=scipy_name, epsilon=scipy_epsilon(EPSILON),
                                         smoothing=smoothing + floor, **extra)
    return ours, theirs, queries


def relative_error(ours, theirs):
    return np.max(np.abs(np.asarray(ours) - theirs)) / np.max(np.abs(theirs))


MATCHES = [(k, d, s, None if k in MINIMUM_DEGREE else 1) for k in NEW_KERNELS for d in (1, 2) for s in (0.0, 0.3)]
MATCHES += [("polyharmonic_2", 2, 0.0, 2), ("polyharmonic_1", 1, 0.0, 2)]
# The shape kernels' epsilon conversions; smoothing differs by the constant factor, so none here.
MATCHES += [(k, 2, 0.0, 1) for k in ("gaussian", "multiquadric", "inverse_multiquadratic")]


@pytest.mark.parametrize("kernel, dimension, smoothing, degree", MATCHES)
def test_predictions_match_scipy(kernel, dimension, smoothing, degree):
    ours, theirs, queries = pair(kernel, dimension, smoothing, degree)
    assert relative_error(ours.predict(queries), theirs(queries.reshape(len(queries), -1))) < 1e-9


@pytest.mark.parametrize("kernel", NEW_KERNELS)
@pytest.mark.parametrize("dimension", [1, 2])
def test_gradient_is_scipys_central_difference(kernel, dimension):
    ours, theirs, queries = pair(kernel, dimension, 0.1, None if kernel in MINIMUM_DEGREE else 1)
    points = queries.reshape(len(queries), -1)
    h = 1e-5
    difference = np.stack([(theirs(points + h * unit) - theirs(points - h * unit)) / (2 * h)
                           for unit in np.eye(points.shape[1])], axis=-1)
    assert relative_error(np.reshape(ours.gradient(queries), difference.shape), difference) < 1e-6


@pytest.mark.parametrize("kernel", NEW_KERNELS)
def test_gradient_at_and_next_to_samples_is_finite(kernel):
    x, y, _ = samples(2)
    model = Rbf(x, y, kernel, EPSILON)
    # At a sample its own term is skipped; 1e-7 away, -r's slope in s is -1/(2r), about -5e6.
    assert np.all(np.isfinite(model.gradient(np.concatenate([x, x + 1e-7]))))


@pytest.mark.parametrize("kernel", NEW_KERNELS)
def test_default_degree_is_the_minimum(kernel):
    x, y, _ = samples(2)
    assert Rbf(x, y, kernel, EPSILON).degree == MINIMUM_DEGREE.get(kernel)
    chosen = pymorvel.select_epsilon(x, y, kernel)
    assert (chosen.model.degree, chosen.epsilon_searched) == (MINIMUM_DEGREE.get(kernel), kernel not in MINIMUM_DEGREE)


# Refused with the arguments, before x and y are looked at.
ENTRY_POINTS = {
    "Rbf": lambda k, d: Rbf(None, None, k, degree=d),
    "patches": lambda k, d: Rbf(None, None, k, degree=d, patch_size=16),
    "loo_residuals": lambda k, d: pymorvel.loo_residuals(None, None, k, degree=d),
    "select_epsilon": lambda k, d: pymorvel.select_epsilon(None, None, ["gaussian", k], degree=d),
}


@pytest.mark.parametrize("kernel, degree", [("polyharmonic_2", 0), ("polyharmonic_3", 0), ("polyharmonic_5", 0),
                                            ("polyharmonic_5", 1)])
@pytest.mark.parametrize("entry", ENTRY_POINTS)
def test_degree_below_the_minimum_is_refused(entry, kernel, degree):
    error = error_of(lambda: ENTRY_POINTS[entry](kernel, degree))
    minimum = MINIMUM_DEGREE[kernel]
    assert type(error) is ValueError
    assert str(error) == f"Kernel {kernel} needs degree >= {minimum} (or None, which means {minimum}): got {degree}"


@pytest.mark.parametrize("kernel", NEW_KERNELS)
def test_pickling_keeps_the_kernel(kernel):
    x, y, queries = samples(2)
    model = Rbf(x, y, kernel, EPSILON, smoothing=0.01)
    restored = pickle.loads(pickle.dumps(model))
    assert (restored.kernel_name, restored.degree) == (kernel, model.degree)
    assert restored.predict(queries) == model.predict(queries)


@pytest.mark.parametrize("kernel, state", [
    ("polyharmonic_2", (1, "polyharmonic_2", 1.0, [0.0, 1.0, 2.0], [1.0, 2.0, 0.0], [1.0, -2.0, 1.0])),
    ("polyharmonic_5", (2, "polyharmonic_5", 1.0, [0.0, 1.0, 2.0], [1.0, 2.0, 0.0], [1.0, -2.0, 1.0], 1, [0.5, 0.5])),
])
def test_a_state_below_the_kernels_minimum_degree_is_refused(kernel, state):
    error = error_of(lambda: pymorvel._restore(state))
    assert type(error) is ValueError
    assert str(error) == f"Rbf state: kernel {kernel} needs a polynomial term of degree >= {MINIMUM_DEGREE[kernel]}"


@pytest.mark.parametrize("kernel", NEW_KERNELS)
def test_patches_interpolate(kernel):
    rng = np.random.default_rng(4)
    x = rng.uniform(0.0, 30.0, (300, 2))
    y = np.cos(x[:, 0] * 0.3) * x[:, 1] * 0.1
    model = Rbf(x, y, kernel, EPSILON, patch_size=24)
    assert model.degree == MINIMUM_DEGREE.get(kernel)
    assert np.max(np.abs(np.asarray(model.predict(x)) - y)) < 1e-8
