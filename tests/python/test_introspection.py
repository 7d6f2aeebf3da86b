"""The read-only properties of a model: what it was built from and what its fit found, always as new objects."""
from fractions import Fraction

import pytest

from pymorvel import Rbf
from support import error_of

PROPERTIES = ("kernel_name", "epsilon", "n_samples", "point_kind", "value_kind", "points", "values", "weights")


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


@pytest.mark.parametrize("name", PROPERTIES)
def test_properties_are_read_only(name):
    model = Rbf([0.0, 1.0], [0.0, 1.0])
    for change in (lambda: setattr(model, name, getattr(model, name)), lambda: delattr(model, name)):
        assert type(error_of(change)) is AttributeError
