"""float32 arrays and arrays in any strides or order are read in place, and must give the bits that iterating them gives."""
import struct
from array import array

import pytest

from pymorvel import Rbf
from support import Seq as Iterated  # the generic road: items by __getitem__, each converted by float()

np = pytest.importorskip("numpy")

RNG = np.random.default_rng(11)


def iterated(source):
    """What iteration of source yields, kept as the NumPy scalars it is made of."""
    if getattr(source, "ndim", 1) == 2:
        return Iterated([Iterated(list(row)) for row in source])
    return Iterated(list(source))


def bits(result):
    flat = np.asarray(result, dtype=np.float64).ravel()
    return [struct.pack("<d", v).hex() for v in flat]


def unaligned(values):
    # A field of packed records: float64 items at odd addresses.
    records = np.zeros(len(values), dtype=[("pad", "u1"), ("v", "<f8")])
    records["v"] = values
    return records["v"]


# Values float32 cannot hold exactly show a conversion that is not float()'s.
VALUES = RNG.standard_normal(40) * 3 + np.float64(1e-9)
ONE_DIMENSIONAL = {
    "float32": lambda v: v.astype(np.float32),
    "float32-strided": lambda v: np.repeat(v.astype(np.float32), 2)[::2],
    "float64-strided": lambda v: np.repeat(v, 3)[::3],
    "float64-reversed": lambda v: v[::-1].copy()[::-1],
    "float32-reversed": lambda v: v[::-1].astype(np.float32)[::-1],
    "fortran-column": lambda v: np.asfortranarray(np.stack([v, -v], axis=1))[:, 0],
    "unaligned": unaligned,
    "array-f": lambda v: array("f", v.tolist()),
    "float32-little": lambda v: v.astype("<f4"),
}
TWO_DIMENSIONAL = {
    "float32": lambda v: v.astype(np.float32),
    "fortran": np.asfortranarray,
    "fortran-float32": lambda v: np.asfortranarray(v.astype(np.float32)),
    "transposed": lambda v: v.T.copy().T,
    "strided-rows-and-columns": lambda v: np.repeat(np.repeat(v, 2, axis=0), 3, axis=1)[::2, ::3],
    "negative-strides": lambda v: v[::-1, ::-1].copy()[::-1, ::-1],
}


@pytest.mark.parametrize("make", ONE_DIMENSIONAL.values(), ids=ONE_DIMENSIONAL.keys())
def test_one_dimensional_arrays_give_the_bits_of_iteration(make):
    x = make(VALUES[:8])
    y = make(VALUES[8:16])
    fast, generic = Rbf(x, y, "cubic"), Rbf(iterated(x), iterated(y), "cubic")
    assert repr(fast) == repr(generic)
    x_new = make(VALUES[16:])
    assert bits(fast.predict(x_new)) == bits(generic.predict(iterated(x_new)))
    assert bits(fast.gradient(x_new)) == bits(generic.gradient(iterated(x_new)))
    out = np.empty(len(VALUES[16:]))
    assert bits(fast.predict(x_new, out=out)) == bits(generic.predict(iterated(x_new)))


@pytest.mark.parametrize("make", TWO_DIMENSIONAL.values(), ids=TWO_DIMENSIONAL.keys())
def test_two_dimensional_arrays_give_the_bits_of_iteration(make):
    x = make(VALUES[:24].reshape(12, 2))
    y = make(VALUES[16:40].reshape(12, 2))
    fast, generic = Rbf(x, y), Rbf(iterated(x), iterated(y))
    assert bits(fast.weights) == bits(generic.weights)
    x_new = make(RNG.standard_normal((20000, 2)))  # several blocks of out
    expected = generic.predict(iterated(x_new[:50]))
    assert bits(fast.predict(x_new[:50])) == bits(expected)
    out = np.empty((20000, 2))
    assert bits(fast.predict(x_new, out=out)[:50]) == bits(expected)
    assert bits(out) == bits(fast.predict(np.ascontiguousarray(x_new, dtype=np.float64).tolist()))
    gradient_out = np.empty((20000, 2, 2))
    assert bits(fast.gradient(x_new, out=gradient_out)[:50]) == bits(generic.gradient(iterated(x_new[:50])))


class DoubledOnIteration(np.ndarray):
    def __iter__(self):
        return iter([v * 2 for v in np.asarray(self)])


class DoubledFloats(array):
    def __iter__(self):
        return iter([v * 2 for v in array("f", self)])


@pytest.mark.parametrize("make", [
    lambda v: v.astype(np.float32).view(DoubledOnIteration),
    lambda v: np.asfortranarray(np.stack([v, v], axis=1)).view(DoubledOnIteration)[:, 0],
    lambda v: DoubledFloats("f", v.tolist()),
], ids=["float32-subclass", "strided-subclass", "array-f-subclass"])
def test_subclasses_of_the_new_kinds_still_iterate(make):
    rbf = Rbf([0.0, 1.0, 2.0], [0.0, 1.0, 4.0])
    source = make(np.array([0.25, 0.5, 1.5]))
    doubled = rbf.predict([0.5, 1.0, 3.0])
    assert bits(rbf.predict(source)) == bits(doubled)
    assert bits(rbf.predict(source, out=np.empty(3))) == bits(doubled)


@pytest.mark.parametrize("source", [
    np.arange(3, dtype=">f4"),          # another byte order: iteration converts it
    np.arange(3, dtype=np.float16),
    np.arange(3, dtype=np.int32),
    memoryview(array("f", [0.0, 1.0, 2.0])),  # a memoryview of floats iterates, and so is read by iteration
], ids=["big-endian-float32", "float16", "int32", "memoryview-f"])
def test_other_item_types_are_still_read_by_iteration(source):
    rbf = Rbf([0.0, 1.0, 3.0], [1.0, 2.0, 0.5], "linear")
    assert bits(rbf.predict(source)) == bits(rbf.predict(Iterated([float(v) for v in source])))
