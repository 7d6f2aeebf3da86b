"""The read-only properties of a model: what it was built from and what its fit found, always as new objects."""
from fractions import Fraction

import pytest

from pymorvel import Rbf
from support import error_of

PROPERTIES = ("kernel_name", "epsilon", "n_samples", "point_kind", "value_kind", "points", "values", "weights")
POLYNOMIAL_PROPERTIES = ("degree", "polynomial_coefficients")


@pytest.mark.parametrize("x, y, kernel, epsilon, shown", [
    (range(3), (0, 1, 4), None, None, ("gaussian", 1.0, 3, "number", "number", [0.0, 1.0, 2.0], [0.0, 1.0, 4.0])),
    ([0, 1], [[1, 2], [3, 4]], "multiquadric", 2, ("multiquadric", 2.0, 2, "number", "vector",
                                                   [0.0, 1.0], [[1.0, 2.0], [3.0, 4.0]])),
    ([(0, 0), [1, True]], [1, 2], "cubic", True, ("cubic", 1.0, 2, "vector", "number",
                                                  [[0.0, 0.0], [1.0, 1.0]], [1.0, 2.0])),
    ([[0.5], [1.5, 2.5]], [[1], [2, 3]], "thin_plate_spline", Fraction(1, 4),
     ("thin_plate_spline", 0.25, 2, "vector", "vector", [[0.5], [1.5, 2.5]], [[1.0], [2.0, 3.0]])),
])
def test_properties_show_what_the_model_was_built_from(x, y, kernel, epsilon, shown):
    model = Rbf(x, y, kernel, epsilon)
    assert tuple(getattr(model, name) for name in PROPERTIES[:-1]) == shown
    floats = [c for item in model.points + model.values + model.weights
              for c in (item if isinstance(item, list) else [item])]
    assert all(type(c) is float for c in floats)
    assert len(model.weights) == model.n_samples
    assert all(isinstance(w, list) for w in model.weights) == (model.value_kind == "vector")


def test_weights_are_the_fitted_ones():
    # One sample: the weight is the value over the kernel's diagonal, 2**-52 for "linear".
    assert Rbf([5.0], [3.0], "linear").weights == [3.0 * 2.0**52]
    assert Rbf([[5.0]], [[3.0, -1.0]], "linear").weights == [[3.0 * 2.0**52, -(2.0**52)]]


def test_lists_are_new_on_every_read_and_changing_them_changes_nothing():
    model = Rbf([[0.0, 0.0], [1.0, 1.0]], [[1.0], [2.0]], "multiquadric", 0.5)
    before = model.predict([[0.25, 0.5]])
    for name in ("points", "values", "weights"):
        first = getattr(model, name)
        assert first is not getattr(model, name)
        snapshot = [list(item) for item in first]
        first[0].append(9.0)
        first.append([9.0])
        assert getattr(model, name) == snapshot
    assert model.predict([[0.25, 0.5]]) == before


@pytest.mark.parametrize("name", PROPERTIES + POLYNOMIAL_PROPERTIES)
def test_properties_are_read_only(name):
    model = Rbf([0.0, 1.0], [0.0, 1.0])
    for change in (lambda: setattr(model, name, getattr(model, name)), lambda: delattr(model, name)):
        assert type(error_of(change)) is AttributeError


def flat(items):
    return [c for item in items for c in (item if isinstance(item, list) else [item])]


@pytest.mark.parametrize("x, y, degree, coefficients", [
    # Samples on [0, 3] give u = (x - 1.5) / 1.5, so 1 + 2x is 4 + 3u.
    ([0, 1, 2, 3], [1, 3, 5, 7], 1, [4.0, 3.0]),
    ([0, 1, 2, 3], [[1, -1], [3, -1], [5, -1], [7, -1]], 1, [[4.0, -1.0], [3.0, 0.0]]),
    # One coefficient per monomial 1, u0, u1, u0^2, u0 u1, u1^2; u = x on
    # these samples, and the values are x0^2.
    ([[-1, -1], [1, -1], [-1, 1], [1, 1], [0, 0], [0, 1], [1, 0]], [1, 1, 1, 1, 0, 0, 1], 2,
     [0.0, 0.0, 0.0, 1.0, 0.0, 0.0]),
])
def test_the_polynomial_term_shows_its_degree_and_coefficients_in_the_scaled_basis(x, y, degree, coefficients):
    model = Rbf(x, y, "multiquadric", 0.5, degree=degree)
    assert type(model.degree) is int and model.degree == degree
    assert flat(model.polynomial_coefficients) == pytest.approx(flat(coefficients), abs=1e-9)
    first = model.polynomial_coefficients
    assert first is not model.polynomial_coefficients
    first.append(9.0)
    assert len(model.polynomial_coefficients) == len(coefficients)


def test_a_model_without_a_polynomial_term_shows_none():
    model = Rbf([0.0, 1.0], [0.0, 1.0], smoothing=0.5)
    assert (model.degree, model.polynomial_coefficients) == (None, None)
