"""From import to prediction for every shape and kernel: a fitted model
reproduces its samples and answers in the form of its shape."""
import math

import pytest

from pymorvel import Rbf

KERNELS = ["gaussian", "multiquadric", "inverse_multiquadratic", "thin_plate_spline", "linear", "cubic"]
NUMBER_POINTS = [0.0, 0.7, 2.3]
VECTOR_POINTS = [[0.0, 0.0], [0.7, 0.4], [2.3, -1.2]]
NUMBER_VALUES = [1.0, -2.0, 0.5]
VECTOR_VALUES = [[1.0, 2.0], [-2.0, 0.0], [0.5, 3.0]]
SHAPES = {
    "Rbf<f64, f64>": (NUMBER_POINTS, NUMBER_VALUES),
    "Rbf<f64, Vec<f64>>": (NUMBER_POINTS, VECTOR_VALUES),
    "Rbf<Vec<f64>, f64>": (VECTOR_POINTS, NUMBER_VALUES),
    "Rbf<Vec<f64>, Vec<f64>>": (VECTOR_POINTS, VECTOR_VALUES),
}


def flat(values):
    return [c for v in values for c in (v if isinstance(v, list) else [v])]


@pytest.mark.parametrize("kernel", KERNELS)
@pytest.mark.parametrize("shape", list(SHAPES))
@pytest.mark.parametrize("epsilon", [None, 0.5, -0.5])
def test_fit_then_predict_reproduces_the_samples(shape, kernel, epsilon):
    x, y = SHAPES[shape]
    rbf = Rbf(x, y, kernel, epsilon)
    assert repr(rbf).startswith(shape + ": epsilon = ")
    predicted = rbf.predict(x)
    assert [type(v) for v in predicted] == [type(v) for v in y]
    assert flat(predicted) == pytest.approx(flat(y), abs=1e-9)
    midpoint = [0.35, 0.2] if isinstance(x[0], list) else 0.35
    [between] = rbf.predict([midpoint])
    assert type(between) is type(y[0])
    assert all(math.isfinite(v) for v in flat([between]))


@pytest.mark.parametrize("kernel", KERNELS)
def test_the_sign_of_epsilon_does_not_matter(kernel):
    a = Rbf(VECTOR_POINTS, NUMBER_VALUES, kernel, 2.0).predict([[0.3, 0.3], [1.0, -1.0]])
    b = Rbf(VECTOR_POINTS, NUMBER_VALUES, kernel, -2.0).predict([[0.3, 0.3], [1.0, -1.0]])
    assert [v.hex() for v in a] == [v.hex() for v in b]


def test_kernels_see_the_squared_distance():
    # With "linear" the kernel is r**2, so halfway between 0 and 1 the model gives a quarter.
    assert Rbf([0, 1], [0, 1], "linear").predict([0.5]) == pytest.approx([0.25])


def test_a_single_sample_is_a_valid_model():
    rbf = Rbf([[1.0, 2.0]], [[3.0, 4.0, 5.0]])
    assert rbf.predict([[1.0, 2.0]]) == [pytest.approx([3.0, 4.0, 5.0])]
