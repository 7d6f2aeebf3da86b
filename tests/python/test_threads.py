"""Threads: other Python threads run while a fit or a large prediction is in
progress, and concurrent fits give the same bits as one."""
import gc
import math
import sys
import threading
import time

import pytest

from pymorvel import Rbf


def scattered(n):
    points = [[math.sin(i * 0.37) * 3.0, math.cos(i * 0.11) * 2.0] for i in range(n)]
    values = [math.sin(a) + b * b for a, b in points]
    return points, values


class Spinner:
    """A thread that counts while it holds the interpreter lock and gives it up
    between counts. With a huge switch interval the lock changes hands only
    when its holder releases it, so the count can advance during a call only
    if that call released the lock."""

    def __init__(self):
        self.count = 0
        self._stop = threading.Event()
        self._started = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def _run(self):
        self._started.set()
        while not self._stop.is_set():
            self.count += 1
            time.sleep(0.0005)  # releases the lock; not a timing assumption

    def __enter__(self):
        self._interval = sys.getswitchinterval()
        sys.setswitchinterval(1000.0)
        self._thread.start()
        self._started.wait()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()
        sys.setswitchinterval(self._interval)


def test_other_threads_run_while_a_fit_is_in_progress():
    points, values = scattered(1500)
    with Spinner() as spinner:
        before = spinner.count
        Rbf(points, values, "multiquadric")
        during = spinner.count - before
    assert during > 0


def test_a_fit_of_fewer_than_32_points_keeps_the_interpreter_lock():
    # It is over in microseconds; giving the lock up would cost more.
    points, values = scattered(31)
    gc.disable()
    try:
        with Spinner() as spinner:
            before = spinner.count
            for _ in range(200):
                Rbf(points, values, "multiquadric")
            during = spinner.count - before
    finally:
        gc.enable()
    assert during == 0


@pytest.mark.parametrize("queries, released", [
    (3000, True),  # 600000 kernel evaluations: the lock is given up while they run
    (4, False),  # 800: giving the lock up would cost more than the evaluation
])
def test_predict_releases_the_interpreter_lock_unless_the_query_is_tiny(queries, released):
    points, values = scattered(200)
    rbf = Rbf(points, values, "multiquadric")
    query_points = scattered(queries)[0]
    gc.disable()  # a collection could run finalizers that give up the lock
    try:
        with Spinner() as spinner:
            before = spinner.count
            # Several calls: one large prediction is over in about a millisecond,
            # possibly before the other thread wakes up.
            for _ in range(30):
                rbf.predict(query_points)
            during = spinner.count - before
    finally:
        gc.enable()
    assert (during > 0) == released


def hex_of(values):
    return [v.hex() for v in values]


@pytest.mark.parametrize("kernel", ["thin_plate_spline", "inverse_multiquadratic"])
def test_concurrent_fits_give_the_bits_of_one(kernel):
    # Large enough for the parallel elimination; every thread fits the same data.
    points, values = scattered(400)
    queries = scattered(410)[0][400:]
    reference = hex_of(Rbf(points, values, kernel, 0.7).predict(queries))

    threads = 8
    barrier = threading.Barrier(threads)
    results = [None] * threads
    errors = []

    def work(slot):
        try:
            barrier.wait()
            results[slot] = hex_of(Rbf(points, values, kernel, 0.7).predict(queries))
        except BaseException as e:  # noqa: B036 - reported below
            errors.append(e)

    workers = [threading.Thread(target=work, args=(i,)) for i in range(threads)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    assert errors == []
    assert results == [reference] * threads


def test_a_panic_in_one_thread_leaves_the_others_alone(panic_exception):
    points, values = scattered(150)
    reference = Rbf(points, values).predict(points[:5])
    outcomes = {}

    def good():
        outcomes["good"] = Rbf(points, values).predict(points[:5])

    def bad():
        try:
            Rbf(points, values[:-1])
        except panic_exception as e:
            outcomes["bad"] = e.args[0]

    workers = [threading.Thread(target=good), threading.Thread(target=bad)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    assert outcomes["good"] == reference
    assert outcomes["bad"].endswith("left: 150\n right: 149")
