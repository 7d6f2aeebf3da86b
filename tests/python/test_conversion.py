"""How Python objects become sample and query points and how results come
back: accepted forms, refusals and their texts, lying lengths, failing
iteration, and the order of the shape trials."""
import math
import sys
from array import array
from decimal import Decimal
from fractions import Fraction

import pytest

from pymorvel import Rbf
from support import SANITIZED, FailingIter, Index, Nameless, Number, Outer, Raising, Seq, error_of, heap_in_use

F64F64, F64VEC, VECF64, VECVEC = "Rbf<f64, f64>", "Rbf<f64, Vec<f64>>", "Rbf<Vec<f64>, f64>", "Rbf<Vec<f64>, Vec<f64>>"
SHAPES = {
    F64F64: ([0.0, 0.7, 2.3], [1.0, -2.0, 0.5]),
    F64VEC: ([0.0, 0.7, 2.3], [[1.0, 2.0], [-2.0, 0.0], [0.5, 3.0]]),
    VECF64: ([[0.0, 0.0], [0.7, 0.4], [2.3, -1.2]], [1.0, -2.0, 0.5]),
    VECVEC: ([[0.0, 0.0], [0.7, 0.4], [2.3, -1.2]], [[1.0, 2.0], [-2.0, 0.0], [0.5, 3.0]]),
}
NUMBER_POINTS = [F64F64, F64VEC]
VECTOR_POINTS = [VECF64, VECVEC]


class Real(float):
    pass


def model(shape):
    return Rbf(*SHAPES[shape])


def plain(value):
    """The same data as lists of floats."""
    if isinstance(value, (int, float, Fraction, Decimal, Number, Index)):
        return float(value)
    return [plain(item) for item in value]


def bits(values):
    return [bits(v) if isinstance(v, list) else v.hex() for v in values]


@pytest.mark.parametrize("x, y, shape", [
    ([0, 1, 2], [0, 1, 4], F64F64),
    ((0, 1, 2), (0.0, 1.0, 4.0), F64F64),
    (range(3), [0, 1, 4], F64F64),
    (b"\x00\x01\x02", bytearray(b"\x00\x01\x04"), F64F64),
    (array("d", [0, 1, 2]), array("i", [0, 1, 4]), F64F64),
    (Seq([0, 1, 2]), Seq([0, 1, 4]), F64F64),
    ([True, False, 2], [1, 2, 3], F64F64),
    ([Real(0.0), Real(1.0), 2], [1, Real(-1.5), 3], F64F64),
    ([Number(0.0), Index(1), Fraction(5, 2)], [Decimal("0.5"), 1, 2], F64F64),
    ([0, 1], [[1, 2], [3, 4]], F64VEC),
    ([0, 1], [(1, 2), range(2)], F64VEC),
    ([0, 1], [[1, 2], [3]], F64VEC),
    ([[0, 0], [1, 1]], [1, 2], VECF64),
    ([[1, 2], [3]], [1, 2], VECF64),
    ([b"\x00\x00", (1, 1), Seq([2, 0])], [1, 2, 3], VECF64),
    ([[0, 0], [1, 1]], [[1], [2]], VECVEC),
    ((range(2), (1, 1)), (Seq([1, 0]), b"\x02"), VECVEC),
])
def test_accepted_forms_pick_the_shape_and_read_like_lists_of_floats(x, y, shape):
    rbf = Rbf(x, y, "multiquadric")
    assert repr(rbf).startswith(shape + ": ")
    query = [0.5, 1.5] if shape in NUMBER_POINTS else [[0.5, 0.5], [1.0]]
    assert bits(rbf.predict(query)) == bits(Rbf(plain(x), plain(y), "multiquadric").predict(query))


def test_numpy_arrays_are_sequences():
    np = pytest.importorskip("numpy")
    points = np.array([[0.0, 0.0], [0.7, 0.4], [2.3, -1.2]])
    values = np.array([1.0, -2.0, 0.5], dtype=np.float32)
    rbf = Rbf(points, values)
    assert repr(rbf).startswith(VECF64)
    assert bits(rbf.predict(points[:2])) == bits(Rbf(points.tolist(), values.tolist()).predict(points[:2].tolist()))


X = [0.0, 1.0, 2.0]
Y = [0.0, 1.0, 4.0]


@pytest.mark.parametrize("x, y", [
    ("abc", Y), (X, "abc"), ("", ""),
    (1.5, Y), (X, 2), (None, Y), (X, None),
    ({0, 1, 2}, Y), ({0: 1, 1: 2, 2: 3}, Y), ((v for v in X), Y), (iter(X), Y),
    ([1, [2]], [1, 2]), ([[1], 2], [1, 2]), (["a", "b"], [1, 2]), ([[1], "ab"], [1, 2]),
    (X, [1, None, 2]), ([0, 1], [[1, 2], "ab"]), ([0, 1], [[1, 2], {3}]), ([[0], [1]], [[1], 2]),
    ([Outer.Inner()], [1]), ([Nameless()], [1]),
    (Seq(X, fail_at=1, error=ZeroDivisionError("boom")), Y),
    (FailingIter(X, error=ValueError("no iterator")), Y),
    ([[0, 0], Seq([1, 1], fail_at=1, error=ArithmeticError("boom"))], [1, 2]),
    ([Raising(ValueError("nope")), 1.0], [1, 2]),
])
def test_unusable_inputs_are_one_shape_error(x, y):
    e = error_of(lambda: Rbf(x, y))
    assert type(e) is ValueError
    assert e.args == ("Unsupported input shapes for x and y",)
    # The failures of the individual trials are not shown.
    assert e.__cause__ is None and e.__context__ is None


@pytest.mark.parametrize("x, y, counted, iterations", [
    # x fits only the vector trials: it is converted in every trial.
    (Seq([[0, 0], [1, 1]]), [[1], [2]], "x", 4),
    (Seq([[0, 0], [1, 1]]), [1, 2], "x", 3),
    # y is converted even when x has already failed.
    ("abc", Seq([1, 2]), "y", 4),
    ([[0, 0], [1, 1]], Seq([[1], [2]]), "y", 4),
    (Seq([0, 1]), Seq([1, 2]), "x", 1),
])
def test_shape_trials_convert_both_arguments_in_order(x, y, counted, iterations):
    try:
        Rbf(x, y)
    except ValueError:
        pass
    assert {"x": x, "y": y}[counted].iterations == iterations


@pytest.mark.parametrize("x, y, error, message", [
    ([], [], ValueError, "Design matrix and RHS must be non-empty and the same length."),
    ([], [[1, 2]], "panic", "assertion `left == right` failed: x and y must have the same length\n  left: 0\n right: 1"),
    ([[0], [1]], [], "panic", "assertion `left == right` failed: x and y must have the same length\n  left: 2\n right: 0"),
])
def test_empty_sequences_fit_the_earliest_trial(x, y, error, message, panic_exception):
    e = error_of(lambda: Rbf(x, y))
    assert type(e) is (panic_exception if error == "panic" else error)
    assert e.args == (message,)


LYING_LENGTHS = [2**60, sys.maxsize, 1, 0, -1, 2**70, "three", ValueError("no length")]


@pytest.mark.parametrize("length", LYING_LENGTHS, ids=repr)
def test_a_length_is_only_a_hint_to_the_constructor(length):
    reference = Rbf([0.0, 0.7, 2.3], [[1.0, 0.0], [0.0, 1.0], [2.0, 3.0]])
    rbf = Rbf(Seq([0.0, 0.7, 2.3], length), [Seq([1.0, 0.0], length), [0.0, 1.0], Seq([2.0, 3.0], length)])
    assert bits(rbf.predict([0.5, 2.0])) == bits(reference.predict([0.5, 2.0]))


@pytest.mark.parametrize("length", LYING_LENGTHS, ids=repr)
def test_a_length_is_only_a_hint_to_predict(length):
    rbf = model(VECF64)
    result = rbf.predict(Seq([Seq([0.5, 0.5], length), [1.0, 2.0], [3.0]], length))
    assert bits(result) == bits(rbf.predict([[0.5, 0.5], [1.0, 2.0], [3.0]]))


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's allocator is invisible to mallinfo2")
def test_sequences_claiming_huge_lengths_do_not_keep_memory():
    points = Seq([Seq([i * 0.01, 1.0], 2**60) for i in range(300)], 2**60)
    values = Seq([Seq([math.sin(i), math.cos(i)], 2**60) for i in range(300)], 2**60)
    before = heap_in_use()
    rbf = Rbf(points, values, "inverse_multiquadratic")
    held = heap_in_use() - before
    assert held < 4 << 20, f"the model holds {held} bytes for 1200 numbers"
    del rbf


@pytest.mark.parametrize("shape", list(SHAPES))
@pytest.mark.parametrize("x_new, error, message", [
    ("0.5", TypeError, "Can't extract `str` to `Vec`"),
    ("", TypeError, "Can't extract `str` to `Vec`"),
    (0.5, TypeError, "'float' object cannot be converted to 'Sequence'"),
    (None, TypeError, "'NoneType' object cannot be converted to 'Sequence'"),
    ({0.5}, TypeError, "'set' object cannot be converted to 'Sequence'"),
    ({0.5: 1}, TypeError, "'dict' object cannot be converted to 'Sequence'"),
    (iter([]), TypeError, "'list_iterator' object cannot be converted to 'Sequence'"),
    (Outer.Inner(), TypeError, "'Outer.Inner' object cannot be converted to 'Sequence'"),
    (Nameless(), TypeError, "'<failed to extract type name>' object cannot be converted to 'Sequence'"),
])
def test_predict_refuses_non_sequences_for_every_shape(shape, x_new, error, message):
    e = error_of(lambda: model(shape).predict(x_new))
    assert type(e) is error and e.args == (message,)


@pytest.mark.parametrize("shape", NUMBER_POINTS)
@pytest.mark.parametrize("x_new, error, message", [
    ([[1.0]], TypeError, "must be real number, not list"),
    ([0.5, "a"], TypeError, "must be real number, not str"),
    ([None], TypeError, "must be real number, not NoneType"),
    ([2**2000], OverflowError, "int too large to convert to float"),
])
def test_predict_at_number_points_passes_the_interpreters_errors(shape, x_new, error, message):
    e = error_of(lambda: model(shape).predict(x_new))
    assert type(e) is error and e.args == (message,)


@pytest.mark.parametrize("shape", VECTOR_POINTS)
@pytest.mark.parametrize("x_new, error, message", [
    ([1.0, 2.0], TypeError, "'float' object cannot be converted to 'Sequence'"),
    ([[1.0, 2.0], 3], TypeError, "'int' object cannot be converted to 'Sequence'"),
    ([[1.0, 2.0], "ab"], TypeError, "Can't extract `str` to `Vec`"),
    ([[1.0, 2.0], {1.0}], TypeError, "'set' object cannot be converted to 'Sequence'"),
    ([[1.0, "a"]], TypeError, "must be real number, not str"),
])
def test_predict_at_vector_points_refuses_items(shape, x_new, error, message):
    e = error_of(lambda: model(shape).predict(x_new))
    assert type(e) is error and e.args == (message,)


FAILURES_AT_NUMBER_POINTS = {
    "item access": lambda error: Seq([0.5, 0.5], fail_at=1, error=error),
    "__iter__": lambda error: FailingIter([0.5], error=error),
    "__float__ of an item": lambda error: [0.5, Raising(error)],
}
FAILURES_AT_VECTOR_POINTS = {
    "item access": lambda error: Seq([[0.5, 0.5], [1.0]], fail_at=1, error=error),
    "__iter__": lambda error: FailingIter([[0.5]], error=error),
    "item access in a point": lambda error: [[0.5], Seq([0.5, 0.5], fail_at=1, error=error)],
    "__iter__ of a point": lambda error: [FailingIter([0.5], error=error)],
    "__float__ of a component": lambda error: [[0.5, Raising(error)]],
}


@pytest.mark.parametrize("shape, failure", [
    (shape, failure) for shape in NUMBER_POINTS for failure in FAILURES_AT_NUMBER_POINTS.values()
] + [
    (shape, failure) for shape in VECTOR_POINTS for failure in FAILURES_AT_VECTOR_POINTS.values()
])
def test_predict_passes_conversion_failures_unchanged(shape, failure):
    error = ZeroDivisionError("from the caller")
    assert error_of(lambda: model(shape).predict(failure(error))) is error


@pytest.mark.parametrize("shape", list(SHAPES))
def test_empty_query_gives_empty_list(shape):
    assert model(shape).predict([]) == []
    assert model(shape).predict(()) == []


@pytest.mark.parametrize("shape, x_new", [
    (F64F64, (0.5,)), (F64F64, range(1)), (F64F64, b"\x01"), (F64F64, Seq([Index(1)])),
    (F64VEC, [Number(0.5)]), (VECF64, [(0.5, 0.5)]), (VECF64, (range(2),)), (VECVEC, [Seq([0.5, 0.5])]),
    (VECF64, [[]]), (VECVEC, [[], ()]),
])
def test_predict_accepts_any_sequence(shape, x_new):
    rbf = model(shape)
    result = rbf.predict(x_new)
    assert len(result) == len(plain(x_new))
    assert bits(result) == bits(rbf.predict(plain(x_new)))


@pytest.mark.parametrize("shape, width", [(F64F64, None), (F64VEC, 2), (VECF64, None), (VECVEC, 2)])
def test_results_are_new_lists_of_floats(shape, width):
    rbf = model(shape)
    x_new = SHAPES[shape][0]
    first, second = rbf.predict(x_new), rbf.predict(x_new)
    assert type(first) is list and len(first) == 3 and first is not second
    for item, other in zip(first, second):
        if width is None:
            assert type(item) is float
        else:
            assert type(item) is list and item is not other and len(item) == width
            assert all(type(v) is float for v in item)


def test_output_vectors_have_the_length_of_the_first_sample_value():
    rbf = Rbf([0.0, 1.0], [[1.0, 2.0, 3.0], [4.0, 5.0]], "linear")
    assert [len(v) for v in rbf.predict([0.0, 0.5, 1.0])] == [3, 3, 3]


def test_vector_queries_are_compared_on_the_common_prefix():
    rbf = model(VECF64)
    assert bits(rbf.predict([[1.0, 2.0, 99.0]])) == bits(rbf.predict([[1.0, 2.0]]))


def test_a_nan_query_coincides_with_every_sample():
    rbf = model(F64F64)
    [value] = rbf.predict([math.nan])
    assert math.isfinite(value)


def test_the_model_keeps_its_own_copy_of_the_samples():
    x, y = [[0.0, 0.0], [0.7, 0.4], [2.3, -1.2]], [1.0, -2.0, 0.5]
    rbf = Rbf(x, y)
    before = rbf.predict(x)
    x[0][0] = 100.0
    y.clear()
    assert rbf.predict([[0.0, 0.0], [0.7, 0.4], [2.3, -1.2]]) == before
