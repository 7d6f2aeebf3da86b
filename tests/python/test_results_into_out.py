"""predict and gradient writing into out=: the list results' bits, the buffer returned, and refusals that write nothing."""
import math
from array import array

import pytest

from pymorvel import Rbf
from support import error_of

np = pytest.importorskip("numpy")

RNG = np.random.default_rng(7)
POINTS_1D = [0.0, 0.4, 1.1, 1.7, 2.5]
POINTS_2D = RNG.random((12, 2)).tolist()


def model(shape, **options):
    x = POINTS_1D if shape[0] == "number" else POINTS_2D
    y = [math.sin(3 * i) for i in range(len(x))]
    if shape[1] == "vector":
        y = [[v, v * v - 0.5, 2.0 - v] for v in y]
    return Rbf(x, y, "multiquadric", **options)


def queries(shape, m):
    return (RNG.random(m) * 2.6).tolist() if shape[0] == "number" else RNG.random((m, 2)).tolist()


SHAPES = [("number", "number"), ("number", "vector"), ("vector", "number"), ("vector", "vector")]
# m crosses the blocks out is filled in, and the size above which the lock is released.
SIZES = [0, 1, 37, 20000]


@pytest.mark.parametrize("method", ["predict", "gradient"])
@pytest.mark.parametrize("shape", SHAPES, ids="-".join)
@pytest.mark.parametrize("m", SIZES)
def test_out_holds_the_bits_of_the_lists_and_is_returned(method, shape, m):
    rbf = model(shape)
    x_new = queries(shape, m)
    expected = np.array(getattr(rbf, method)(x_new), dtype=np.float64)
    for source in (x_new, np.array(x_new, dtype=np.float64)):
        expected_shape = (m,) + expected.shape[1:] if m else out_shape(rbf, method, shape)
        out = np.full(expected_shape, 7.25)
        assert getattr(rbf, method)(source, out=out) is out
        assert out.tobytes() == expected.reshape(expected_shape).tobytes()


def out_shape(rbf, method, shape, m=0):
    extents = [m]
    if shape[1] == "vector":
        extents.append(3)
    if method == "gradient" and shape[0] == "vector":
        extents.append(2)
    return tuple(extents)


def test_a_polynomial_models_out_and_other_writable_buffers():
    rbf = Rbf(POINTS_2D, [[p[0], p[1] * 2] for p in POINTS_2D], degree=1)
    x_new = RNG.random((5, 2))
    out = np.empty((5, 2, 2))
    assert rbf.gradient(x_new, out=out).tobytes() == np.array(rbf.gradient(x_new.tolist())).tobytes()
    # Any exporter of native doubles: array.array, a memoryview in the right shape.
    line = Rbf(POINTS_1D, [1.0, 2.0, 0.0, 1.0, 3.0])
    target = array("d", [0.0] * 3)
    assert line.predict([0.1, 0.2, 0.3], out=target) is target
    assert list(target) == line.predict([0.1, 0.2, 0.3])
    view = memoryview(bytearray(8 * 3)).cast("d")
    assert list(line.predict([0.1, 0.2, 0.3], out=view).tolist()) == line.predict([0.1, 0.2, 0.3])


def test_out_none_is_no_out_and_out_is_keyword_only():
    rbf = model(("number", "number"))
    assert rbf.predict([0.5], out=None) == rbf.predict([0.5])
    e = error_of(lambda: rbf.predict([0.5], np.empty(1)))
    assert (type(e), str(e)) == (TypeError, "Rbf.predict() takes 1 positional arguments but 2 were given")


def read_only(a):
    a.flags.writeable = False
    return a


NUMBER_VECTOR = ("number", "vector")
VECTOR_VECTOR = ("vector", "vector")
# (shape, method, x_new, out, exception, text in the message)
REFUSALS = [
    (NUMBER_VECTOR, "predict", [0.5, 1.5], np.zeros((2, 2)), ValueError, "of shape (2, 3), or None; got shape (2, 2)"),
    (NUMBER_VECTOR, "predict", [0.5, 1.5], np.zeros(6), ValueError, "got shape (6,)"),
    (NUMBER_VECTOR, "predict", [0.5, 1.5], np.zeros((2, 3), np.float32), TypeError, "got items of format 'f'"),
    (NUMBER_VECTOR, "predict", [0.5, 1.5], np.zeros((2, 3), ">f8"), TypeError, "got items of format '>d'"),
    (NUMBER_VECTOR, "predict", [0.5, 1.5], read_only(np.zeros((2, 3))), ValueError, "got a read-only buffer"),
    (NUMBER_VECTOR, "predict", [0.5, 1.5], np.zeros((3, 2)).T, ValueError, "got a buffer that is not row-major contiguous"),
    (NUMBER_VECTOR, "predict", [0.5, 1.5], np.zeros((4, 3))[::2], ValueError, "not row-major contiguous"),
    (VECTOR_VECTOR, "gradient", [[0.5, 0.5]], np.zeros((1, 3)), ValueError, "of shape (1, 3, 2), or None"),
    (VECTOR_VECTOR, "gradient", [[0.5, 0.5], [0.1]], np.zeros((2, 3, 2)), ValueError,
     "out needs query points of one length, and they are not all of length 2"),
    (VECTOR_VECTOR, "gradient", [], np.zeros((0, 3)), ValueError, "of shape (0, 3, d), or None; got shape (0, 3)"),
    # Refusals that are not about out still come first and leave it alone.
    (NUMBER_VECTOR, "predict", [0.5, "x"], np.zeros((2, 3)), TypeError, "real number"),
    # A NaN found after earlier blocks were computed: nothing of them is written.
    (NUMBER_VECTOR, "predict", [0.5, math.inf], np.zeros((2, 3)), RuntimeError, "NaN values in output"),
    (NUMBER_VECTOR, "predict", np.array([0.5] * 9000 + [math.inf]), np.zeros((9001, 3)), RuntimeError,
     "NaN values in output"),
    (NUMBER_VECTOR, "gradient", np.array([0.5] * 9000 + [math.inf]), np.zeros((9001, 3)), RuntimeError,
     "NaN values in output"),
]


@pytest.mark.parametrize("shape, method, x_new, out, exception, text", REFUSALS)
def test_a_refused_out_is_left_untouched(shape, method, x_new, out, exception, text):
    rbf = model(shape)
    if out.flags.writeable:
        out[...] = 7.25
    before = out.tobytes()
    e = error_of(lambda: getattr(rbf, method)(x_new, out=out))
    assert type(e) is exception
    assert text in str(e)
    assert out.tobytes() == before


def test_out_that_is_no_buffer_names_the_shape():
    e = error_of(lambda: model(("vector", "number")).predict([[0.5, 0.5]], out=[0.0]))
    assert (type(e), str(e)) == (TypeError, "Rbf.predict(): out must be a writable, row-major contiguous float64 buffer of "
                                            "shape (1,), or None; got 'list', which is not a buffer")


def test_value_vectors_of_different_lengths_have_no_array_shape():
    rbf = Rbf([0.0, 1.0, 2.0], [[1.0, 2.0], [3.0, 4.0, 5.0], [6.0, 7.0]])
    out = np.full((1, 2), 7.25)
    for method in ("predict", "gradient"):
        e = error_of(lambda: getattr(rbf, method)([0.5], out=out))
        assert type(e) is ValueError
        assert str(e) == (f"Rbf.{method}(): out needs a model whose value vectors have one length, and value 1 has "
                          "3 numbers where value 0 has 2; call it without out to get lists")
        assert (out == 7.25).all()
    assert len(rbf.predict([0.5])[0]) == 2  # without out, as before
