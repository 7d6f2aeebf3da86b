"""Threads: other Python threads run while a fit or a large prediction is in
progress, and concurrent fits and predictions, on shared and private models and
for several pool sizes, give the bits of one thread."""
import gc
import sys
import threading
import time

import pytest

from pymorvel import Rbf
from support import run_child, scattered


def samples(n):
    return scattered(n, 2, n), [v[0] for v in scattered(n, 1, -n)]


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
    points, values = samples(1500)
    with Spinner() as spinner:
        before = spinner.count
        Rbf(points, values, "multiquadric")
        during = spinner.count - before
    assert during > 0


def test_a_fit_of_fewer_than_32_points_keeps_the_interpreter_lock():
    # It is over in microseconds; giving the lock up would cost more.
    points, values = samples(31)
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
    points, values = samples(200)
    rbf = Rbf(points, values, "multiquadric")
    query_points = scattered(queries, 2, 0.5)
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
def test_concurrent_fits_on_the_process_pool_give_the_bits_of_one(kernel):
    # Large enough for the parallel elimination; every thread fits the same data.
    points, values = samples(400)
    queries = scattered(10, 2, 0.5)
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
    points, values = samples(150)
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


# Eight threads fitting and predicting on shared and private models, in a fresh
# process per pool size, since the pool is sized once.
STRESS_CHILD = """
    import json, os, threading
    from pymorvel import Rbf
    from support import scattered

    def tasks():
        return len(os.listdir("/proc/self/task"))

    # (name, x, y, kernel, epsilon, queries): every shape, sizes on both sides
    # of the parallel thresholds (fits of at least 320 points and predictions
    # of at least 131072 kernel evaluations use the pool), and one large enough
    # to split the work of a step into many pieces.
    JOBS = []
    for name, n, point_width, value_width, kernel, query_count in [
        ("f64-f64 300", 300, 0, 0, "multiquadric", 9),
        ("f64-f64 140", 140, 0, 0, "multiquadric", 9),
        ("f64-vec 120", 120, 0, 3, "inverse_multiquadratic", 9),
        ("vec-f64 130", 130, 2, 0, "thin_plate_spline", 9),
        ("vec-vec 111", 111, 3, 2, "gaussian", 9),
        ("vec-f64 320", 320, 2, 0, "multiquadric", 9),
        ("vec-vec 101", 101, 2, 2, "cubic", 9),
        ("f64-f64 30", 30, 0, 0, "linear", 9),
        ("vec-f64 250, 700 queries", 250, 2, 0, "inverse_multiquadratic", 700),
        ("vec-vec 200, 700 queries", 200, 3, 2, "gaussian", 700),
    ]:
        points = scattered(n, max(point_width, 1), n)
        x = [p[0] for p in points] if point_width == 0 else points
        values = scattered(n, max(value_width, 1), -n)
        y = [v[0] for v in values] if value_width == 0 else values
        queries = scattered(query_count, max(point_width, 1), 0.5)
        if point_width == 0:
            queries = [q[0] for q in queries]
        JOBS.append((name, x, y, kernel, 0.9, queries))

    def bits(values):
        return [bits(v) if isinstance(v, list) else v.hex() for v in values]

    def fit(job):
        name, x, y, kernel, epsilon, queries = job
        return Rbf(x, y, kernel, epsilon)

    before = tasks()
    reference = {job[0]: bits(fit(job).predict(job[5])) for job in JOBS}
    after_first = tasks()
    shared = {job[0]: fit(job) for job in JOBS}

    THREADS, ROUNDS = 8, 5
    barrier = threading.Barrier(THREADS)
    problems = []

    def work(slot):
        try:
            barrier.wait()
            for round_ in range(ROUNDS):
                order = JOBS[slot % len(JOBS):] + JOBS[:slot % len(JOBS)]
                for job in order:
                    name = job[0]
                    if bits(fit(job).predict(job[5])) != reference[name]:
                        problems.append(f"private {name}, thread {slot}, round {round_}")
                    if bits(shared[name].predict(job[5])) != reference[name]:
                        problems.append(f"shared {name}, thread {slot}, round {round_}")
                # Failures on the way, next to the fits of the other threads.
                try:
                    Rbf(JOBS[0][1], JOBS[0][2][:-1])
                    problems.append("length mismatch fitted")
                except BaseException as e:
                    if type(e).__name__ != "PanicException":
                        problems.append(f"length mismatch raised {e!r}")
                try:
                    Rbf([0.0] * 120, list(range(120)))
                    problems.append("singular system fitted")
                except ValueError as e:
                    if not str(e).startswith("Exact zero pivot encountered at column "):
                        problems.append(f"singular system raised {e!r}")
        except BaseException as e:
            problems.append(f"thread {slot}: {e!r}")

    workers = [threading.Thread(target=work, args=(slot,)) for slot in range(THREADS)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    print(json.dumps({"reference": reference, "problems": problems,
                      "tasks before": before, "tasks after first fit": after_first}))
"""


@pytest.fixture(scope="module")
def stress_runs():
    """The reports of the stress child by pool size, each run once."""
    runs = {}

    def report(pool_size):
        if pool_size not in runs:
            code, runs[pool_size], err = run_child(STRESS_CHILD, env={"RAYON_NUM_THREADS": str(pool_size)},
                                                   timeout=900)
            assert code == 0, err[-3000:]
        return runs[pool_size]
    return report


@pytest.mark.parametrize("pool_size", [1, 2, 7])
def test_eight_threads_get_the_bits_of_one(pool_size, stress_runs):
    report = stress_runs(pool_size)
    assert report["problems"] == []
    # The pool starts exactly its workers, and only with the first large fit.
    assert report["tasks before"] == 1
    assert report["tasks after first fit"] == 1 + pool_size


@pytest.mark.parametrize("pool_size", [2, 7])
def test_the_pool_size_does_not_change_a_bit(pool_size, stress_runs):
    assert stress_runs(pool_size)["reference"] == stress_runs(1)["reference"]
