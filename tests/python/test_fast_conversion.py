"""Buffers and exact lists are read without iterating, and must give what iteration gives."""
import math
import struct
import warnings
from array import array

import pytest

from pymorvel import Rbf
from support import error_of

np = pytest.importorskip("numpy")

SPECIALS = [0.0, -0.0, 1.5, -2.25, 1e-300, 5e-324, 1.7976931348623157e308, math.inf, -math.inf, math.nan]


def bits(values):
    return [struct.pack("<d", v).hex() for v in values]


class Iterated:
    """Forces the generic road: a sequence that is neither a list nor a buffer."""

    def __init__(self, items):
        self.items = list(items)

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]


def predictions(x_new, points=(0.0, 1.0, 3.0)):
    return Rbf(list(points), [1.0, 2.0, 0.5], "linear").predict(x_new)


@pytest.mark.parametrize("make", [
    lambda v: np.asarray(v, dtype=np.float64),
    lambda v: array("d", v),
    lambda v: memoryview(array("d", v)),
    lambda v: tuple(v),
    lambda v: list(v),
], ids=["ndarray", "array", "memoryview", "tuple", "list"])
def test_one_dimensional_sources_give_the_bits_of_iteration(make):
    # Query points including NaN, infinities and signed zeros go through the
    # model, whose outputs show any difference in the converted inputs.
    finite = [v for v in SPECIALS if math.isfinite(v) and abs(v) < 1e300]
    assert bits(predictions(make(finite))) == bits(predictions(Iterated(finite)))
    values = [0.25, -0.0, 3.5]
    ours = Rbf(make([0.0, 1.0, 2.5]), make(values), "cubic").predict([0.5, 2.0])
    generic = Rbf(Iterated([0.0, 1.0, 2.5]), Iterated(values), "cubic").predict([0.5, 2.0])
    assert bits(ours) == bits(generic)


# A memoryview of two dimensions is not here: iteration refuses it, and so does
# the conversion.
@pytest.mark.parametrize("make", [
    lambda rows: np.asarray(rows, dtype=np.float64),
], ids=["ndarray"])
def test_two_dimensional_buffers_are_read_as_vectors(make):
    rows = [[0.0, 0.0], [1.0, -0.5], [0.25, 2.0]]
    fast = Rbf(make(rows), [1.0, 2.0, 3.0])
    generic = Rbf([Iterated(r) for r in rows], Iterated([1.0, 2.0, 3.0]))
    assert repr(fast) == repr(generic)
    assert bits(fast.predict(make([[0.5, 0.5]]))) == bits(generic.predict([[0.5, 0.5]]))
    vector_values = Rbf([0.0, 1.0, 2.0], make(rows))
    assert bits(sum(vector_values.predict([0.3]), [])) == bits(sum(Rbf([0.0, 1.0, 2.0], rows).predict([0.3]), []))


@pytest.mark.parametrize("source", [
    np.arange(6, dtype=np.float64)[::2],          # strided: not contiguous
    np.arange(3, dtype=np.float32),               # another item type
    np.arange(3, dtype=np.int64),
    np.asfortranarray(np.arange(6.0).reshape(3, 2))[:, 0],
    array("f", [0.0, 1.0, 2.0]),
    bytes([0, 1, 2]),
], ids=["strided", "float32", "int64", "fortran-column", "array-f", "bytes"])
def test_other_buffers_give_the_bits_of_iteration(source):
    generic = Iterated([float(v) for v in source])
    assert bits(predictions(source)) == bits(predictions(generic))


@pytest.mark.parametrize("source, error", [
    (np.arange(3.0), "'float64' object cannot be converted to 'Sequence'"),   # numbers where vectors are needed
    (np.float64(2.0), "'numpy.float64' object cannot be converted to 'Sequence'"),
])
def test_buffers_of_the_wrong_shape_fail_like_iteration(source, error):
    vector_model = Rbf([[0.0], [1.0]], [1.0, 2.0])
    e = error_of(lambda: vector_model.predict(source))
    assert type(e) is TypeError
    assert str(e) in (error, error.replace("numpy.", ""))


def test_a_list_changed_by_a_conversion_is_read_as_iteration_reads_it():
    # __float__ shortens the list while it is being converted: the items that
    # remain are read afresh, and the dropped ones are never touched.
    target = []

    class Shrinking:
        def __float__(self):
            del target[2:]
            return 1.0

    target.extend([0.5, Shrinking(), 7.0, 9.0])
    assert Rbf([0.0, 1.0], [1.0, 1.0]).predict(target) == Rbf([0.0, 1.0], [1.0, 1.0]).predict([0.5, 1.0])


class OwnIterArray(np.ndarray):
    def __iter__(self):
        return iter([float(v) * 2 for v in np.asarray(self)])


class OwnIterDoubles(array):
    def __iter__(self):
        return iter([v * 2 for v in array("d", self)])


@pytest.mark.parametrize("make", [
    lambda v: np.ma.masked_array(v, mask=[i == 1 for i in range(len(v))]),
    lambda v: np.asarray(v).view(OwnIterArray),
    lambda v: OwnIterDoubles("d", v),
    lambda v: np.matrix(v),
], ids=["masked", "ndarray-subclass", "array-subclass", "matrix"])
def test_subclasses_are_read_by_iteration_not_by_their_memory(make):
    model = Rbf([0.0, 1.0, 2.0], [0.0, 1.0, 4.0])
    values = [0.0, 1.0, 2.5]
    source = make(values)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # a masked element converts to NaN, with a warning
        expected = error_or_bits(lambda: model.predict(Iterated(list(source))))
        assert error_or_bits(lambda: model.predict(source)) == expected
        expected_fit = error_or_bits(lambda: Rbf([0.0, 1.0, 2.0], Iterated(list(source))).predict([0.5]))
        assert error_or_bits(lambda: Rbf([0.0, 1.0, 2.0], source).predict([0.5])) == expected_fit


def error_or_bits(call):
    try:
        return bits(call())
    except Exception as e:
        return type(e), str(e)
