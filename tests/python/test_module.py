"""The module and the Rbf type as the interpreter sees them: attributes, type
properties, signatures and the text form."""
import inspect
import math
import subprocess
import sys
import weakref
from fractions import Fraction

import pytest

import pymorvel
from pymorvel import Rbf


def test_module_exposes_rbf_and_the_epsilon_selection():
    assert pymorvel.__all__ == ["Rbf", "loo_residuals", "select_epsilon", "EpsilonSelection", "Evaluation"]
    assert isinstance(pymorvel.Rbf, type)
    assert pymorvel.__doc__ == ""
    assert Rbf.__name__ == "Rbf"


def test_signatures():
    assert str(inspect.signature(Rbf)) == ("(x, y, kernel_name=None, epsilon=None, *, smoothing=0.0, degree=None, "
                                           "patch_size=None, domain=None, region=None)")
    for method in ("predict", "gradient"):
        assert getattr(Rbf, method).__text_signature__ == "($self, x_new, *, out=None)"
        assert str(inspect.signature(getattr(Rbf([0.0], [1.0]), method))) == "(x_new, *, out=None)"


def test_rbf_is_not_a_base_type():
    with pytest.raises(TypeError):
        class Derived(Rbf):  # noqa: F841
            pass


@pytest.mark.parametrize("operation, error", [
    (lambda r: setattr(r, "epsilon", 2.0), AttributeError),
    (lambda r: setattr(r, "anything", 1), AttributeError),
    (lambda r: weakref.ref(r), TypeError),
    (lambda r: r.__dict__, AttributeError),
])
def test_instances_take_nothing_extra(operation, error):
    with pytest.raises(error):
        operation(Rbf([0.0, 1.0], [0.0, 1.0]))


PREFIX = {
    "F64F64": "Rbf<f64, f64>: epsilon = ",
    "F64Vec": "Rbf<f64, Vec<f64>>: epsilon = ",
    "VecF64": "Rbf<Vec<f64>, f64>: epsilon = ",
    "VecVec": "Rbf<Vec<f64>, Vec<f64>>: epsilon = ",
}
SAMPLES = {
    "F64F64": ([0, 1, 2], [0, 1, 4]),
    "F64Vec": ([0, 1], [[1, 2], [3, 4]]),
    "VecF64": ([[0, 0], [1, 1]], [1, 2]),
    "VecVec": ([[0, 0], [1, 1]], [[1], [2]]),
}


@pytest.mark.parametrize("shape, kernel, epsilon, shown", [
    ("F64F64", None, None, "1"),
    ("F64F64", None, 0.25, "0.25"),
    ("F64F64", None, 2, "2"),
    ("F64F64", None, True, "1"),
    ("F64F64", None, Fraction(1, 4), "0.25"),
    ("F64F64", "linear", 100.0, "100"),
    ("F64F64", "linear", 1e21, "1" + "0" * 21),
    ("F64Vec", "linear", 0.1, "0.1"),
    ("VecF64", "linear", -2.5, "-2.5"),
    ("VecVec", None, 1e-7, "0.0000001"),
    ("VecVec", None, 1.0, "1"),
    ("F64Vec", "linear", -0.0, "-0"),
    ("VecF64", "linear", math.nan, "NaN"),
    ("VecF64", "linear", -math.nan, "NaN"),
    ("F64F64", "linear", math.inf, "inf"),
    ("VecVec", "linear", -math.inf, "-inf"),
])
def test_text_form(shape, kernel, epsilon, shown):
    rbf = Rbf(*SAMPLES[shape], kernel, epsilon)
    assert repr(rbf) == PREFIX[shape] + shown
    assert str(rbf) == repr(rbf)


def run_python(code):
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)


def test_second_initialisation_fails_and_first_module_keeps_working():
    result = run_python(
        "import sys, pymorvel\n"
        "first = pymorvel\n"
        "del sys.modules['pymorvel']\n"
        "try:\n"
        "    import pymorvel\n"
        "except ImportError as e:\n"
        "    print('ImportError:', e)\n"
        "print(first.Rbf([0.0, 1.0], [0.0, 1.0], 'linear').predict([0.5])[0])\n")
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines[0].startswith("ImportError:") and "once" in lines[0]
    assert float(lines[1]) == pytest.approx(0.25)
