"""Typed use of pymorvel: mypy checks it against the stubs, and it also runs against the module."""
from __future__ import annotations

import copy
import pickle
from array import array
from fractions import Fraction
from typing import Any, Callable, Literal

import numpy as np
import numpy.typing as npt
from typing_extensions import assert_type

from pymorvel import Rbf


def form(model: Rbf[Any, Any]) -> str:
    # The text form names the shape the run time chose; it must agree with the
    # static type asserted next to it.
    return repr(model).split(":")[0]


def refused(call: Callable[[], object], error: type[BaseException]) -> None:
    try:
        call()
    except error:
        return
    raise AssertionError("the module accepted what the stubs reject")


numbers = Rbf([0.0, 1.0, 2.0], (0.0, 1.0, 4.0), "multiquadric", 0.5)
assert_type(numbers, "Rbf[float, float]")
assert form(numbers) == "Rbf<f64, f64>"
assert_type(numbers.predict(range(2)), list[float])

curve = Rbf(range(3), [[1.0, 0.0], [0.0, 1.0], [-1.0, 0.0]], kernel_name="gaussian", epsilon=1)
assert_type(curve, "Rbf[float, list[float]]")
assert form(curve) == "Rbf<f64, Vec<f64>>"
assert_type(curve.predict(array("d", [0.25])), list[list[float]])

corners = [[0.0, 0.0], [1.0, 0.0], (0.0, 1.0), [1.0, 1.0]]
surface = Rbf(corners, [0.0, 1.0, 1.0, 2.0], epsilon=Fraction(1, 2))
assert_type(surface, "Rbf[list[float], float]")
assert form(surface) == "Rbf<Vec<f64>, f64>"
assert_type(surface.predict([(0.5, 0.5)]), list[float])

field = Rbf(corners, corners, "inverse_multiquadratic", np.float64(0.5))
assert_type(field, "Rbf[list[float], list[float]]")
assert form(field) == "Rbf<Vec<f64>, Vec<f64>>"
field_values = field.predict(np.array([[0.5, 0.5]]))
assert_type(field_values, list[list[float]])
assert isinstance(field_values[0], list)

# Arrays: their dimensionality is a run-time fact.
x = np.linspace(0.0, 1.0, 5)
wave = Rbf(x, np.sin(x), "thin_plate_spline", True)
assert_type(wave, "Rbf[Any, Any]")
assert_type(wave.predict(x[:2]), list[Any])
assert_type(numbers.predict(x), list[float])
rows = Rbf([x, x + 1.0], [1.0, 2.0], "linear")
assert_type(rows, "Rbf[Any, Any]")
assert form(rows) == "Rbf<Vec<f64>, f64>"
assert_type(Rbf(np.eye(2), np.eye(2), "cubic").predict(np.ones((1, 2))), list[Any])
assert_type(Rbf([0.0, 1.0, 2.0], [1.0, 0.0, 1.0], "polyharmonic_2", degree=1), "Rbf[float, float]")

# Reading a model back: the properties follow the model's type.
assert_type(numbers.kernel_name, Literal["gaussian", "multiquadric", "inverse_multiquadratic", "thin_plate_spline",
                                         "linear", "cubic", "inverse_quadratic", "polyharmonic_1",
                                         "polyharmonic_2", "polyharmonic_3", "polyharmonic_5"])
assert numbers.kernel_name == "multiquadric"
assert_type(numbers.epsilon, float)
assert_type(numbers.n_samples, int)
assert_type(curve.point_kind, Literal["number", "vector"])
assert (curve.point_kind, curve.value_kind) == ("number", "vector")
assert_type(curve.points, list[float])
assert_type(curve.values, list[list[float]])
assert_type(surface.points, list[list[float]])
assert_type(field.weights, list[list[float]])
assert_type(copy.deepcopy(field), "Rbf[list[float], list[float]]")
restored: Rbf[float, float] = pickle.loads(pickle.dumps(numbers))
assert restored.predict([0.5]) == numbers.predict([0.5])
# The opt-in arguments keep the shape, and gradient's entries follow it.
smooth = Rbf([0.0, 1.0, 2.0], [0.0, 1.0, 4.0], "gaussian", smoothing=[0.1, 0.0, 0.1], degree=1)
assert_type(smooth, "Rbf[float, float]")
assert_type(smooth.gradient([0.5]), list[float])
assert_type(curve.gradient([0.25]), list[list[float]])
assert_type(surface.gradient([(0.5, 0.5)]), list[list[float]])
assert_type(field.gradient(np.array([[0.5, 0.5]])), list[list[list[float]]])
assert_type(Rbf(x, np.sin(x), smoothing=np.full(5, 0.1), degree=np.int64(2)).gradient(x[:2]), list[Any])
assert isinstance(field.gradient([[0.5, 0.5]])[0][1], list)
# The polynomial term reads back in the values' form, and travels with the model.
assert_type(smooth.degree, "int | None")
assert_type(smooth.polynomial_coefficients, "list[float] | None")
assert_type(Rbf([0.0, 1.0], [[1.0], [2.0]], degree=0).polynomial_coefficients, "list[list[float]] | None")
assert (smooth.degree, numbers.degree, numbers.polynomial_coefficients) == (1, None, None)
again: Rbf[float, float] = pickle.loads(pickle.dumps(smooth))
assert again.polynomial_coefficients == smooth.polynomial_coefficients

# What the stubs reject, the module refuses too; an ignore that stops being
# needed fails the check (--warn-unused-ignores).
refused(lambda: Rbf([0.0, 1.0], [0.0, 1.0], "gausian"), ValueError)  # type: ignore[call-overload]
refused(lambda: Rbf([0.0, 1.0], [0.0, 1.0], epsilon="1"), TypeError)  # type: ignore[call-overload]
refused(lambda: Rbf("01", [0.0, 1.0]), ValueError)  # type: ignore[arg-type]
refused(lambda: Rbf({0.0, 1.0}, [0.0, 1.0]), ValueError)  # type: ignore[call-overload]
refused(lambda: numbers.predict(0.5), TypeError)  # type: ignore[call-overload]
refused(lambda: numbers.predict([[0.5]]), TypeError)  # type: ignore[list-item]
refused(lambda: surface.predict([0.5, 0.5]), TypeError)  # type: ignore[list-item]
refused(lambda: Rbf([0.0, 1.0], [0.0, 1.0], None, None, 0.5), TypeError)  # type: ignore[call-overload]
refused(lambda: Rbf([0.0, 1.0], [0.0, 1.0], degree=1.5), TypeError)  # type: ignore[call-overload]
refused(lambda: Rbf([0.0, 1.0], [0.0, 1.0], smoothing=None), TypeError)  # type: ignore[call-overload]
refused(lambda: surface.gradient([0.5, 0.5]), TypeError)  # type: ignore[list-item]


def change_epsilon() -> None:
    numbers.epsilon = 2.0  # type: ignore[misc]


refused(change_epsilon, AttributeError)

# out: the buffer comes back with its own type, whatever the model's shape.
target: npt.NDArray[np.float64] = np.empty((1, 2))
assert_type(field.predict(np.array([[0.5, 0.5]], dtype=np.float32), out=target), npt.NDArray[np.float64])
assert_type(surface.gradient([[0.5, 0.5]], out=target), npt.NDArray[np.float64])
line = array("d", [0.0, 0.0])
assert_type(numbers.predict([0.5, 1.5], out=line), "array[float]")
assert_type(numbers.gradient(x[:2], out=line), "array[float]")
assert_type(numbers.predict([0.5], out=None), list[float])
refused(lambda: numbers.predict([0.5], out=[0.0]), TypeError)  # type: ignore[call-overload]

# Choosing epsilon by leave-one-out.
import pymorvel

residuals = pymorvel.loo_residuals([0.0, 1.0, 2.0], [1.0, 0.0, 1.0], "multiquadric", 0.5, smoothing=0.0)
chosen = pymorvel.select_epsilon([0.0, 1.0, 2.0], [1.0, 0.0, 1.0], ["gaussian", "cubic"], bounds=(0.1, 2.0))
chosen_epsilon: float = chosen.epsilon
chosen_model = chosen.model
first_condition: float = chosen.curve[0].condition
