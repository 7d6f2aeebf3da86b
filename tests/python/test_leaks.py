"""Repeated successful and failing calls leave nothing behind: no native heap,
no Python objects, no references to the caller's objects."""
import gc
import math
import sys

import pytest

from pymorvel import Rbf
from support import SANITIZED, FailingIter, Raising, Seq, heap_in_use, panic_type

N = 40
POINTS = [i * 0.1 for i in range(N)]
VALUES = [math.sin(p) for p in POINTS]
VECTOR_POINTS = [[p, p * p] for p in POINTS]
VECTOR_VALUES = [[v, -v, 2.0 * v] for v in VALUES]
KERNEL = "inverse_multiquadratic"
PANIC = panic_type()


def swallow(call):
    try:
        call()
    except BaseException:  # noqa: B036 - every failure is expected here
        pass


def one_round():
    # Successes, every shape.
    for x, y in ((POINTS, VALUES), (POINTS, VECTOR_VALUES), (VECTOR_POINTS, VALUES), (VECTOR_POINTS, VECTOR_VALUES)):
        rbf = Rbf(x, y, KERNEL)
        rbf.predict(x)
        repr(rbf)
    vector_model = Rbf(VECTOR_POINTS, VECTOR_VALUES, KERNEL)
    number_model = Rbf(POINTS, VALUES, "linear")
    # Binding and argument errors.
    swallow(lambda: Rbf(POINTS))
    swallow(lambda: Rbf(POINTS, VALUES, z=1))
    swallow(lambda: Rbf(POINTS, VALUES, 3))
    swallow(lambda: Rbf(POINTS, VALUES, KERNEL, "abc"))
    swallow(lambda: Rbf(POINTS, VALUES, KERNEL, Raising(TypeError("inner"))))
    swallow(lambda: Rbf(POINTS, VALUES, "nope"))
    swallow(lambda: vector_model.predict(VECTOR_POINTS, x=1))
    # Conversions that fail part-way, after native vectors were started.
    swallow(lambda: Rbf(POINTS + ["a"], VALUES))
    swallow(lambda: Rbf(VECTOR_POINTS + [[1.0, "a"]], VALUES))
    swallow(lambda: Rbf(Seq(POINTS, fail_at=N - 1, error=ValueError("late")), VALUES))
    swallow(lambda: Rbf(FailingIter(POINTS, error=ValueError("no")), VALUES))
    swallow(lambda: Rbf(Seq(POINTS, length=2**60), Seq(VALUES, length=1)))
    swallow(lambda: vector_model.predict(VECTOR_POINTS + ["ab"]))
    swallow(lambda: vector_model.predict(VECTOR_POINTS + [[0.5, Raising(ZeroDivisionError())]]))
    swallow(lambda: number_model.predict(POINTS + [None]))
    # Failures of the numerical core and aborted calls.
    swallow(lambda: Rbf([0.0, 0.0, 0.0], [1.0, 2.0, 3.0]))
    swallow(lambda: Rbf(VECTOR_POINTS, VALUES[:-1]))
    swallow(lambda: Rbf(POINTS, [0.0, Raising(PANIC("resumed"))] + VALUES[2:]))
    swallow(lambda: number_model.predict(POINTS + [math.inf]))
    swallow(lambda: Rbf(POINTS, [0.0, Raising(KeyboardInterrupt())] + VALUES[2:]))


def measure(keep):
    gc.collect()
    return (heap_in_use(), sys.getallocatedblocks(), len(gc.get_objects()),
            [sys.getrefcount(o) for o in keep])


def test_repeated_calls_do_not_grow_anything(capfd):
    # The caller's objects, whose reference counts must come back exactly.
    keep = [POINTS, VALUES, VECTOR_POINTS, VECTOR_VALUES, KERNEL, POINTS[3], VECTOR_POINTS[3], PANIC]
    for _ in range(200):
        one_round()
    capfd.readouterr()
    heap, blocks, objects, refcounts = measure(keep)
    total_before = sys.gettotalrefcount() if hasattr(sys, "gettotalrefcount") else None
    for _ in range(2000):
        one_round()
        capfd.readouterr()  # the abort reports are expected; keep them out of memory
    heap_after, blocks_after, objects_after, refcounts_after = measure(keep)

    # One leaked vector of 40 doubles per round would be 640 kB, one leaked
    # object per round 2000 blocks; the slack covers allocator caches.
    if not SANITIZED:
        assert heap_after - heap < 128 * 1024
    assert blocks_after - blocks < 500
    assert objects_after - objects < 50
    assert refcounts_after == refcounts
    if total_before is not None:
        assert sys.gettotalrefcount() - total_before < 500
