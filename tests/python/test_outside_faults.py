"""Faults from outside the module: worker threads that cannot start, interruptions and aborts raised by user code, and an impossible allocation."""
import json
import os
import subprocess
import sys
import textwrap
import time

import pytest

from pymorvel import Rbf
from support import Raising, panic_type, run_child

SANITIZED = bool(os.environ.get("PYMORVEL_SANITIZED"))
HERE = os.path.dirname(os.path.abspath(__file__))


# --------------------------------------------------------------------------
# Worker threads that cannot be started.

POOL_FAILURE_CHILD = """
    import json
    from pymorvel import Rbf
    from support import forbid_thread_starts

    def outcome(call):
        try:
            return ["ok", [v.hex() for v in call()]]
        except BaseException as e:
            return [type(e).__name__, str(e), isinstance(e, Exception)]

    small = ([0.0, 1.0, 2.0], [0.0, 1.0, 4.0])
    # Large enough that the pool is needed however the elimination is blocked.
    big = ([i * 0.01 for i in range(600)], [float(i % 7) for i in range(600)])
    before = Rbf(*small)
    report = {"small before": outcome(lambda: Rbf(*small).predict([0.5]))}

    forbid_thread_starts()
    report["big"] = outcome(lambda: Rbf(*big, "multiquadric").predict([0.5]))
    report["small after"] = outcome(lambda: Rbf(*small).predict([0.5]))
    report["old instance"] = outcome(lambda: before.predict([0.5]))
    report["big again"] = outcome(lambda: Rbf(*big, "multiquadric").predict([0.5]))
    print(json.dumps(report))
"""


def test_a_pool_that_cannot_start_threads_fails_the_fit_and_nothing_else():
    code, report, err = run_child(POOL_FAILURE_CHILD, env={"RAYON_NUM_THREADS": "2"})
    assert code == 0, err
    if "skip" in report:
        pytest.skip(report["skip"])
    panic = "PanicException"
    prefix = "The global thread pool has not been initialized."
    # The first parallel step fails, and so does every later one: the pool is
    # created once and its failure is kept.
    for attempt in ("big", "big again"):
        kind, message, is_exception = report[attempt]
        assert kind == panic and message.startswith(prefix + ": ") and not is_exception, report[attempt]
    # Fits that stay below the parallel threshold never needed the pool.
    assert report["small after"] == report["small before"] == report["old instance"]
    assert report["small before"][0] == "ok"
    assert prefix in err  # the abort report on standard error


# --------------------------------------------------------------------------
# Interruptions and aborts raised by user code during conversion.

class RaisingIndex:
    def __init__(self, error):
        self.error = error

    def __index__(self):
        raise self.error


class RaisingSeq:
    """A sequence of two points whose __len__, __getitem__ or __iter__ raises."""

    def __init__(self, error, where):
        self.error, self.where = error, where

    def __len__(self):
        if self.where == "__len__":
            raise self.error
        return 2

    def __getitem__(self, index):
        if self.where == "__getitem__" and index == 1:
            raise self.error
        return [0.0, 1.0][index]

    def __iter__(self):
        if self.where == "__iter__":
            raise self.error
        return iter([self[0], self[1]])


VECTOR_MODEL = Rbf([[0.0, 0.0], [1.0, 1.0]], [[1.0], [2.0]])
NUMBER_MODEL = Rbf([0.0, 1.0], [0.0, 1.0])

# Where user code runs: each entry makes the call with an object that raises
# `error` at that place, and returns that object.
PLACES = {
    "x: __float__, last item": lambda e: Rbf([0.0, Raising(e)], [0.0, 1.0]),
    "x: __index__": lambda e: Rbf([RaisingIndex(e), 1.0], [0.0, 1.0]),
    "y: vector component": lambda e: Rbf([0.0, 1.0], [[0.0], [1.0, Raising(e)]]),
    "x: point component (3rd trial)": lambda e: Rbf([[0.0], [Raising(e)]], [0.0, 1.0]),
    "x: __getitem__": lambda e: Rbf(RaisingSeq(e, "__getitem__"), [0.0, 1.0]),
    "x: __iter__": lambda e: Rbf(RaisingSeq(e, "__iter__"), [0.0, 1.0]),
    "y: __len__ of a vector": lambda e: Rbf([0.0, 1.0], [[0.0], RaisingSeq(e, "__len__")]),
    "epsilon": lambda e: Rbf([0.0, 1.0], [0.0, 1.0], "linear", Raising(e)),
    "predict: item": lambda e: NUMBER_MODEL.predict([0.5, Raising(e)]),
    "predict: point component": lambda e: VECTOR_MODEL.predict([[0.5, 0.5], [0.5, Raising(e)]]),
    "predict: __iter__ of a point": lambda e: VECTOR_MODEL.predict([RaisingSeq(e, "__iter__")]),
}


def raised_by(call):
    try:
        call()
    except BaseException as e:  # noqa: B036 - KeyboardInterrupt and PanicException are what we look for
        return e
    raise AssertionError("the call succeeded")


def still_usable():
    assert NUMBER_MODEL.predict([0.25]) == Rbf([0.0, 1.0], [0.0, 1.0]).predict([0.25])


@pytest.mark.parametrize("place", PLACES)
def test_keyboard_interrupt_from_user_code_propagates_as_is(place):
    interrupt = KeyboardInterrupt("from user code")
    assert raised_by(lambda: PLACES[place](interrupt)) is interrupt
    still_usable()


@pytest.mark.parametrize("place", PLACES)
def test_panic_from_user_code_is_resumed_with_its_message(place, capfd):
    panic = panic_type()("from user code")
    e = raised_by(lambda: PLACES[place](panic))
    assert type(e) is type(panic) and e.args == ("from user code",)
    assert e is not panic  # a new PanicException for the resumed call
    assert "from user code" in capfd.readouterr().err
    still_usable()


def forget_printed_exceptions():
    for name in ("last_type", "last_value", "last_traceback", "last_exc"):
        if hasattr(sys, name):
            setattr(sys, name, None)


@pytest.mark.parametrize("error", [
    pytest.param(lambda: KeyboardInterrupt("x"), id="KeyboardInterrupt"),
    pytest.param(lambda: panic_type()("x"), id="PanicException"),
])
def test_a_failure_from_user_code_keeps_none_of_the_callers_objects(error, capfd):
    forget_printed_exceptions()
    culprit = Raising(None)
    points = [0.0, culprit]
    before = sys.getrefcount(culprit), sys.getrefcount(points)
    culprit.error = error()
    raised_by(lambda: Rbf(points, [0.0, 1.0]))
    culprit.error = None  # the exception's own traceback refers back to culprit
    capfd.readouterr()
    assert (sys.getrefcount(culprit), sys.getrefcount(points)) == before


# --------------------------------------------------------------------------
# An impossible size: a million sample points make an 8 TB matrix.

IMPOSSIBLE_CHILD = """
    import ctypes, gc, json, sys

    class MallInfo2(ctypes.Structure):
        _fields_ = [(n, ctypes.c_size_t) for n in ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks",
                                                   "fsmblks", "uordblks", "fordblks", "keepcost")]
    libc = ctypes.CDLL(None)
    libc.mallinfo2.restype = MallInfo2
    def heap():
        gc.collect()
        info = libc.mallinfo2()
        return info.uordblks + info.hblkhd

    from pymorvel import Rbf
    n = 10**6
    x, y = [i * 1e-3 for i in range(n)], [float(i % 13) for i in range(n)]
    small = lambda: [v.hex() for v in Rbf([0.0, 1.0, 2.0], [0.0, 1.0, 4.0]).predict([0.5])]
    reference = small()
    refs, base = (sys.getrefcount(x), sys.getrefcount(y)), heap()
    try:
        Rbf(x, y, "linear")
        outcome = ["ok", ""]
    except BaseException as e:
        outcome = [type(e).__name__, str(e)]
    report = {
        "outcome": outcome,
        "heap growth": heap() - base,
        "refcounts kept": (sys.getrefcount(x), sys.getrefcount(y)) == refs,
        "small fit still works": small() == reference,
        "pool-sized fit still works": len(Rbf(x[:300], y[:300], "linear").predict(x[:3])) == 3,
    }
    print(json.dumps(report))
"""


def limit_address_space():
    import resource
    resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))


@pytest.mark.parametrize("memory", [
    pytest.param("capped", id="address space capped at 4 GiB",
                 marks=pytest.mark.skipif(SANITIZED, reason="ASan reserves terabytes of address space itself")),
    pytest.param("uncapped", id="no cap, killed past 3 GiB resident"),
])
def test_an_impossible_size_raises_memory_error_and_leaves_nothing(memory):
    if memory == "capped":
        code, report, err = run_child(IMPOSSIBLE_CHILD, preexec_fn=limit_address_space)
    else:
        # Overcommit may let the allocation 'succeed'; the watchdog then stops
        # the child before it fills the machine, and the test fails.
        code, report, err = run_child(IMPOSSIBLE_CHILD, rss_limit=3 << 30)
    assert code == 0, f"the child did not survive ({code}); stderr: {err[-2000:]}"
    assert report["outcome"][0] == "MemoryError", report
    assert report["refcounts kept"] and report["small fit still works"] and report["pool-sized fit still works"]
    # The converted points and values (16 MB) and any partial matrix are gone.
    assert report["heap growth"] < 1 << 20, report
