"""Binding the call arguments of the constructor and of predict, the argument
errors of kernel_name and epsilon, and the kernel names."""
import math

import pytest

from pymorvel import Rbf
from support import Index, Number, Outer, Raising, error_of

X = [0.0, 1.0, 2.0]
Y = [0.0, 1.0, 4.0]


@pytest.mark.parametrize("args, kwargs, message", [
    ((), {}, "Rbf.__new__() missing 2 required positional arguments: 'x' and 'y'"),
    ((X,), {}, "Rbf.__new__() missing 1 required positional argument: 'y'"),
    ((), {"y": Y}, "Rbf.__new__() missing 1 required positional argument: 'x'"),
    ((), {"kernel_name": "linear", "epsilon": 2.0},
     "Rbf.__new__() missing 2 required positional arguments: 'x' and 'y'"),
    ((X, Y, "linear", 1.0, 5), {}, "Rbf.__new__() takes from 2 to 4 positional arguments but 5 were given"),
    ((X, Y, "linear", 1.0, 5, 6), {}, "Rbf.__new__() takes from 2 to 4 positional arguments but 6 were given"),
    # Too many positional arguments is reported before any keyword problem.
    ((X, Y, "linear", 1.0, 5), {"z": 1}, "Rbf.__new__() takes from 2 to 4 positional arguments but 5 were given"),
    ((X,), {"x": X}, "Rbf.__new__() got multiple values for argument 'x'"),
    ((X, Y, "linear"), {"kernel_name": "cubic"}, "Rbf.__new__() got multiple values for argument 'kernel_name'"),
    ((X, Y), {"z": 1}, "Rbf.__new__() got an unexpected keyword argument 'z'"),
    ((X, Y), {"X": 1}, "Rbf.__new__() got an unexpected keyword argument 'X'"),
    ((X, Y), {"x_new": 1}, "Rbf.__new__() got an unexpected keyword argument 'x_new'"),
    # Keywords are taken in the order given, and before missing ones are counted.
    ((), {"w": 1, "z": 2}, "Rbf.__new__() got an unexpected keyword argument 'w'"),
    ((), {"z": 2, "w": 1}, "Rbf.__new__() got an unexpected keyword argument 'z'"),
    ((X,), {"y": Y, "x": X, "q": 0}, "Rbf.__new__() got multiple values for argument 'x'"),
    ((X,), {"q": 0, "x": X}, "Rbf.__new__() got an unexpected keyword argument 'q'"),
    ((X, Y), {"\udc80": 1}, "Rbf.__new__() got an unexpected keyword argument '\udc80'"),
])
def test_constructor_binding_errors(args, kwargs, message):
    e = error_of(lambda: Rbf(*args, **kwargs))
    assert type(e) is TypeError
    assert e.args == (message,)


@pytest.mark.parametrize("args, kwargs, message", [
    ((), {}, "Rbf.predict() missing 1 required positional argument: 'x_new'"),
    (([0.5], [1.5]), {}, "Rbf.predict() takes 1 positional arguments but 2 were given"),
    (([0.5], [1.5], [2.5]), {}, "Rbf.predict() takes 1 positional arguments but 3 were given"),
    ((), {"x": [0.5]}, "Rbf.predict() got an unexpected keyword argument 'x'"),
    (([0.5],), {"x_new": [0.5]}, "Rbf.predict() got multiple values for argument 'x_new'"),
    ((), {"y": 1, "x_new": [0.5]}, "Rbf.predict() got an unexpected keyword argument 'y'"),
])
def test_predict_binding_errors(args, kwargs, message):
    rbf = Rbf(X, Y)
    e = error_of(lambda: rbf.predict(*args, **kwargs))
    assert type(e) is TypeError
    assert e.args == (message,)


def test_every_parameter_binds_by_keyword_in_any_order():
    reference = Rbf(X, Y, "cubic", 0.5).predict([0.5, 1.5])
    assert Rbf(epsilon=0.5, kernel_name="cubic", y=Y, x=X).predict(x_new=[0.5, 1.5]) == reference
    assert Rbf(X, Y, epsilon=0.5, kernel_name="cubic").predict([0.5, 1.5]) == reference


@pytest.mark.parametrize("kernel_name, expected", [
    (3, "argument 'kernel_name': 'int' object cannot be converted to 'PyString'"),
    (1.5, "argument 'kernel_name': 'float' object cannot be converted to 'PyString'"),
    (b"gaussian", "argument 'kernel_name': 'bytes' object cannot be converted to 'PyString'"),
    (["gaussian"], "argument 'kernel_name': 'list' object cannot be converted to 'PyString'"),
    (Outer.Inner(), "argument 'kernel_name': 'Outer.Inner' object cannot be converted to 'PyString'"),
])
def test_kernel_name_of_the_wrong_kind(kernel_name, expected):
    e = error_of(lambda: Rbf(X, Y, kernel_name))
    assert type(e) is TypeError
    assert e.args == (expected,)
    assert e.__cause__ is None


def test_kernel_name_that_has_no_utf8_form_raises_the_encoding_error():
    e = error_of(lambda: Rbf(X, Y, "gauss\udc80ian"))
    assert type(e) is UnicodeEncodeError


class Named(str):
    pass


@pytest.mark.parametrize("kernel_name", [None, "gaussian", Named("gaussian")])
def test_default_kernel_and_str_subclasses(kernel_name):
    assert Rbf(X, Y, kernel_name).predict([0.5]) == Rbf(X, Y).predict([0.5])


@pytest.mark.parametrize("kernel_name", [
    "Gaussian", "GAUSSIAN", "multiquadratic", "inverse_multiquadric", "", " gaussian", "gaussian ",
    "gaussian\0", "linea", "cubics", "thin-plate-spline", "thin_plate", "gaußian", Named("Linear"),
])
def test_unsupported_kernel_names(kernel_name):
    e = error_of(lambda: Rbf(X, Y, kernel_name))
    assert type(e) is ValueError
    assert e.args == ("Unsupported kernel",)


@pytest.mark.parametrize("x, y", [("abc", Y), (None, None), (X, {1, 2})])
def test_unknown_kernel_is_reported_before_x_and_y_are_looked_at(x, y):
    e = error_of(lambda: Rbf(x, y, "nope"))
    assert (type(e), e.args) == (ValueError, ("Unsupported kernel",))


def test_kernel_name_is_checked_before_epsilon_and_epsilon_before_the_kernel_lookup():
    e = error_of(lambda: Rbf(X, Y, 3, "abc"))
    assert e.args[0].startswith("argument 'kernel_name': ")
    e = error_of(lambda: Rbf(X, Y, "nope", "abc"))
    assert e.args[0].startswith("argument 'epsilon': ")


@pytest.mark.parametrize("epsilon, expected", [
    ("abc", "argument 'epsilon': must be real number, not str"),
    ([1.0], "argument 'epsilon': must be real number, not list"),
    # The interpreter's own wording (it changed between versions).
    (1j, "argument 'epsilon': " + str(error_of(lambda: math.sqrt(1j)))),  # math.sqrt converts as we do
    (Raising(TypeError("not today")), "argument 'epsilon': not today"),
])
def test_epsilon_type_errors_name_the_parameter(epsilon, expected):
    e = error_of(lambda: Rbf(X, Y, None, epsilon))
    assert type(e) is TypeError
    assert e.args == (expected,)
    assert e.__cause__ is None


def test_epsilon_argument_error_keeps_the_original_cause():
    root = KeyError("root")
    try:
        raise TypeError("inner") from root
    except TypeError as inner:
        original = inner
    e = error_of(lambda: Rbf(X, Y, None, Raising(original)))
    assert type(e) is TypeError and e is not original
    assert e.args == ("argument 'epsilon': inner",)
    assert e.__cause__ is root


class OwnTypeError(TypeError):
    pass


@pytest.mark.parametrize("error", [OwnTypeError("own"), ValueError("value"), OverflowError("big")])
def test_epsilon_errors_other_than_exactly_type_error_pass_unchanged(error):
    assert error_of(lambda: Rbf(X, Y, None, Raising(error))) is error


def test_epsilon_too_large_for_a_double_is_the_interpreters_overflow_error():
    e = error_of(lambda: Rbf(X, Y, None, 2**2000))
    assert type(e) is OverflowError


@pytest.mark.parametrize("epsilon, same_as", [(2, 2.0), (None, 1.0), (True, 1.0), (Index(3), 3.0), (Number(0.5), 0.5)])
def test_epsilon_values(epsilon, same_as):
    assert Rbf(X, Y, None, epsilon).predict([0.5]) == Rbf(X, Y, None, same_as).predict([0.5])
