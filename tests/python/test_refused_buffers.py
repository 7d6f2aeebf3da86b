"""Buffers that Python cannot iterate are refused as iteration refuses them, whatever their memory holds."""
import ctypes
from array import array

import pytest

from pymorvel import Rbf
from support import error_of

try:
    import _testbuffer
except ImportError:  # a build without the interpreter's test modules
    _testbuffer = None

DOUBLES = [0.25, 1.5, -2.0, 3.0]


def view_2d():
    return memoryview(array("d", DOUBLES)).cast("B").cast("d", (2, 2))


def ctypes_view(*shape):
    """A memoryview of a ctypes array of doubles, which exports the format "<d"."""
    kind = ctypes.c_double
    for extent in reversed(shape):
        kind = kind * extent
    data = kind()
    flat = ctypes.cast(data, ctypes.POINTER(ctypes.c_double))
    for i in range(min(len(DOUBLES), ctypes.sizeof(data) // 8)):
        flat[i] = DOUBLES[i]
    return memoryview(data)


def view_of_format(fmt):
    if _testbuffer is None:
        pytest.skip("no _testbuffer in this interpreter")
    return memoryview(_testbuffer.ndarray(DOUBLES, shape=[len(DOUBLES)], format=fmt))


# Each source with the point form it is offered as. A memoryview unpacks only
# a bare native format ("d", "@d"), and iterates only one dimension.
SOURCES = {
    "2-D d": (view_2d, "vector"),
    "2-D <d": (lambda: ctypes_view(2, 2), "vector"),
    "1-D <d": (lambda: ctypes_view(4), "number"),
    "empty <d": (lambda: ctypes_view(0), "number"),
    "1-D =d": (lambda: view_of_format("=d"), "number"),
    "row of <d": (lambda: [ctypes_view(2)], "vector"),
    # What a memoryview does iterate still reads as its items.
    "1-D d": (lambda: memoryview(array("d", DOUBLES)), "number"),
    "1-D @d": (lambda: memoryview(array("d", DOUBLES)).cast("B").cast("@d"), "number"),
}


def iterated(source):
    """What plain iteration makes of source: (items, None) or (None, (class, text))."""
    try:
        return [list(item) if isinstance(item, memoryview) else item for item in source], None
    except Exception as e:
        return None, (type(e), str(e))


def models(form):
    points = [0.0, 1.0, 3.0, 4.5] if form == "number" else [[0.0, 0.0], [1.0, 0.5], [3.0, 1.0], [0.5, 2.0]]
    return [Rbf(points, [1.0, 2.0, 0.5, -1.0], "multiquadric", 0.8),
            Rbf(points, [[1.0, 0.0], [2.0, 1.0], [0.5, 0.5], [-1.0, 2.0]], "multiquadric", 0.8)]


def hexes(values):
    return [hexes(v) if isinstance(v, list) else v.hex() for v in values]


def outcome(call):
    """The bits of call()'s result, or the class and text of what it raised."""
    try:
        return "result", hexes(call())
    except Exception as e:
        return type(e), str(e)


@pytest.mark.parametrize("name", list(SOURCES))
@pytest.mark.parametrize("method", ["predict", "gradient"])
def test_queries_are_read_as_iteration_reads_them(name, method):
    make, form = SOURCES[name]
    items, refusal = iterated(make())
    for model in models(form):
        evaluate = getattr(model, method)
        expected = refusal if refusal is not None else outcome(lambda: evaluate(items))
        assert outcome(lambda: evaluate(make())) == expected


@pytest.mark.parametrize("name", list(SOURCES))
def test_samples_are_read_as_iteration_reads_them(name):
    make, _ = SOURCES[name]
    items, refusal = iterated(make())
    values = [1.0, 2.0, 0.5, -1.0][:len(items) if items is not None else len(make())]
    for x, y in ((make(), values), (list(range(len(values))), make())):
        if refusal is not None:
            e = error_of(lambda: Rbf(x, y, "cubic"))
            assert (type(e), e.args) == (ValueError, ("Unsupported input shapes for x and y",))
        else:
            assert outcome(lambda: Rbf(x, y, "cubic").predict([0.5])) == \
                outcome(lambda: Rbf(iterated(x)[0], iterated(y)[0], "cubic").predict([0.5]))


def test_smoothing_that_iteration_refuses_raises_what_iteration_raises():
    amounts = memoryview((ctypes.c_double * 4)(0.1, 0.2, 0.3, 0.4))
    _, refusal = iterated(amounts)
    assert outcome(lambda: Rbf([0.0, 1.0, 2.0, 3.0], [1.0, 0.0, 1.0, 0.0], smoothing=amounts)) == refusal
