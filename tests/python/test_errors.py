"""How failures reach Python: message results, aborted calls as PanicException,
aborts resumed from Python code, and interruptions that must not be swallowed."""
import math
import subprocess
import sys

import pytest

import pymorvel
from pymorvel import Rbf
from support import Raising, Seq, error_of

LENGTH_MISMATCH = "assertion `left == right` failed: x and y must have the same length\n  left: 3\n right: 2"


@pytest.mark.parametrize("x, y, kernel, epsilon, message", [
    ([0, 0, 0], [1, 2, 3], None, None, "Exact zero pivot encountered at column 1"),
    ([[0, 1], [0, 1], [0, 1]], [1, 2, 3], None, None, "Exact zero pivot encountered at column 1"),
    ([0, 0], [1, 1], None, None, "NaN detected in backward substitution at index 1"),
    ([], [], None, None, "Design matrix and RHS must be non-empty and the same length."),
    ([0, 1], [0, 1], "gaussian", 0.0, "Exact zero pivot encountered at column 0"),
])
def test_fit_messages_are_value_errors(x, y, kernel, epsilon, message):
    e = error_of(lambda: Rbf(x, y, kernel, epsilon))
    assert type(e) is ValueError
    assert e.args == (message,) and str(e) == message
    assert e.__cause__ is None


def test_nan_output_is_a_runtime_error_and_the_instance_stays_usable():
    rbf = Rbf([0.0, 1.0], [0.0, 1.0], "linear")
    e = error_of(lambda: rbf.predict([0.5, math.inf, 0.25]))
    assert type(e) is RuntimeError and e.args == ("NaN values in output",)
    assert rbf.predict([0.5]) == pytest.approx([0.25])


def test_infinite_weights_make_every_prediction_fail():
    rbf = Rbf([0.0, 0.0], [1.0, 2.0])
    for x_new in ([0.0], [5.0]):
        e = error_of(lambda: rbf.predict(x_new))
        assert (type(e), e.args) == (RuntimeError, ("NaN values in output",))
    assert rbf.predict([]) == []


@pytest.mark.parametrize("x, y, left, right", [
    ([0, 1, 2], [0, 1], 3, 2),
    ([[0], [1], [2]], [[0], [1]], 3, 2),
    ([], [[1, 2]], 0, 1),
])
def test_length_mismatch_is_a_panic(x, y, left, right, panic_exception, capfd):
    e = error_of(lambda: Rbf(x, y))
    message = f"assertion `left == right` failed: x and y must have the same length\n  left: {left}\n right: {right}"
    assert type(e) is panic_exception
    assert e.args == (message,)
    assert not isinstance(e, Exception) and isinstance(e, BaseException)
    report = capfd.readouterr().err
    assert "panicked at" in report and message in report
    # Locations are relative to the repository, whatever the build directory.
    assert "panicked at src/rbf/fitting.hpp:" in report


def test_panic_exception_class(panic_exception):
    assert panic_exception.__name__ == "PanicException"
    assert panic_exception.__bases__ == (BaseException,)
    assert "BaseException" in panic_exception.__doc__
    assert not hasattr(pymorvel, "PanicException")
    assert "PanicException" not in pymorvel.__all__
    assert type(error_of(lambda: Rbf([0, 1, 2], [0, 1]))) is panic_exception
    assert type(error_of(lambda: Rbf([], [[0]]))) is panic_exception


def test_except_exception_does_not_catch_a_panic(panic_exception):
    with pytest.raises(panic_exception):
        try:
            Rbf([0, 1, 2], [0, 1])
        except Exception:  # noqa: BLE001 - the point of the test
            pytest.fail("PanicException was caught as an Exception")


def test_module_keeps_working_after_a_panic(panic_exception):
    before = Rbf([0.0, 1.0, 2.0], [0.0, 1.0, 4.0])
    expected = before.predict([0.5])
    with pytest.raises(panic_exception):
        Rbf([0, 1, 2], [0, 1])
    assert before.predict([0.5]) == expected
    assert Rbf([0.0, 1.0, 2.0], [0.0, 1.0, 4.0]).predict([0.5]) == expected


# Where Python code runs during a call: each place gets an object that raises `error`.
PLACES = {
    "x item": lambda error: Rbf([0.0, Raising(error)], [0.0, 1.0]),
    "y item": lambda error: Rbf([0.0, 1.0], [0.0, Raising(error)]),
    "x point component": lambda error: Rbf([[0.0], [Raising(error)]], [0.0, 1.0]),
    "x item access": lambda error: Rbf(Seq([0.0, 1.0], fail_at=1, error=error), [0.0, 1.0]),
    "x length": lambda error: Rbf(Seq([0.0, 1.0], length=error), [0.0, 1.0]),
    "epsilon": lambda error: Rbf([0.0, 1.0], [0.0, 1.0], None, Raising(error)),
    "predict item": lambda error: Rbf([0.0, 1.0], [0.0, 1.0]).predict([0.5, Raising(error)]),
    "predict length": lambda error: Rbf([0.0, 1.0], [0.0, 1.0]).predict(Seq([0.5], length=error)),
    "predict point component": lambda error: Rbf([[0.0], [1.0]], [0.0, 1.0]).predict([[Raising(error)]]),
}


@pytest.mark.parametrize("place", list(PLACES))
def test_a_panic_let_through_by_python_code_is_resumed(place, panic_exception, capfd):
    original = panic_exception("raised by Python code")
    e = error_of(lambda: PLACES[place](original))
    assert type(e) is panic_exception
    assert e.args == ("raised by Python code",)
    report = capfd.readouterr().err
    assert "Traceback" in report and "raised by Python code" in report


@pytest.mark.parametrize("place", list(PLACES))
@pytest.mark.parametrize("error_class", [KeyboardInterrupt, SystemExit, MemoryError, GeneratorExit])
def test_interruptions_are_never_swallowed(place, error_class):
    # Ctrl-C during a long conversion must stop the call, not become a shape error.
    error = error_class("stop")
    assert error_of(lambda: PLACES[place](error)) is error
    assert Rbf([0.0, 1.0], [0.0, 1.0]).predict([0.5]) == Rbf([0.0, 1.0], [0.0, 1.0]).predict([0.5])


@pytest.mark.parametrize("place, outcome", [
    ("x item", "shape"), ("y item", "shape"), ("x point component", "shape"), ("x item access", "shape"),
    ("x length", "ignored"), ("epsilon", "unchanged"), ("predict item", "unchanged"),
    ("predict length", "ignored"), ("predict point component", "unchanged"),
])
def test_ordinary_exceptions_follow_the_place_they_are_raised(place, outcome):
    error = ArithmeticError("ordinary")
    if outcome == "ignored":
        PLACES[place](error)
        return
    e = error_of(lambda: PLACES[place](error))
    if outcome == "shape":
        assert (type(e), e.args) == (ValueError, ("Unsupported input shapes for x and y",))
    else:
        assert e is error


class InterruptingName(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise KeyboardInterrupt("while naming")
        return super().__getattribute__(name)


class Unnamed(metaclass=InterruptingName):
    pass


def test_an_interruption_while_naming_a_type_is_not_swallowed():
    e = error_of(lambda: Rbf([0.0, 1.0], [0.0, 1.0]).predict(Unnamed()))
    assert type(e) is KeyboardInterrupt


@pytest.mark.parametrize("first_call, expected", [
    ("Rbf([0, 1], [None, 1])", "ValueError Unsupported input shapes for x and y"),
    ("Rbf([0, 1], [0, 1], None, 'abc')", "TypeError argument 'epsilon': must be real number, not str"),
    ("Rbf([0, 1], [0, 1]).predict([None])", "TypeError must be real number, not NoneType"),
])
def test_a_conversion_failure_before_any_panic_is_an_ordinary_exception(first_call, expected):
    # In a fresh process the PanicException class does not exist yet when the
    # first pending exception is examined.
    code = (
        "from pymorvel import Rbf\n"
        "try:\n"
        f"    {first_call}\n"
        "except Exception as e:\n"
        "    print(type(e).__name__, e)\n")
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == expected
