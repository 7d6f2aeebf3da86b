"""Concurrency stress: eight Python threads fitting and predicting on shared and private instances, for several pool sizes, give the bits of one thread."""
import json
import os
import subprocess
import sys
import textwrap

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))

# Runs in a fresh process per pool size, since the pool is sized once.
CHILD = """
    import json, math, os, threading
    from pymorvel import Rbf

    def tasks():
        return len(os.listdir("/proc/self/task"))

    def scattered(n, width, seed):
        return [[math.sin(seed + i * 0.37 + k) * 3.0 for k in range(width)] for i in range(n)]

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


def run(pool_size, code=CHILD):
    proc = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                          timeout=900, env=dict(os.environ, RAYON_NUM_THREADS=str(pool_size), PYTHONPATH=HERE))
    assert proc.returncode == 0, proc.stderr[-3000:]
    return json.loads(proc.stdout.splitlines()[-1])


@pytest.fixture(scope="module")
def runs():
    return {}


@pytest.mark.parametrize("pool_size", [1, 2, 7])
def test_eight_threads_get_the_bits_of_one(pool_size, runs):
    report = runs[pool_size] = run(pool_size)
    assert report["problems"] == []
    # The pool starts exactly its workers, and only with the first large fit.
    assert report["tasks before"] == 1
    assert report["tasks after first fit"] == 1 + pool_size


@pytest.mark.parametrize("pool_size", [2, 7])
def test_the_pool_size_does_not_change_a_bit(pool_size, runs):
    for size in (1, pool_size):
        if size not in runs:
            runs[size] = run(size)
    assert runs[pool_size]["reference"] == runs[1]["reference"]


THRESHOLD_CHILD = """
    import json, os
    from pymorvel import Rbf

    def workers_after_fit(n):
        # Epsilon 0.5 at unit spacing keeps the system diagonally dominant.
        Rbf([float(i) for i in range(n)], [float(i % 7) for i in range(n)], "gaussian", 0.5)
        return len(os.listdir("/proc/self/task")) - 1

    print(json.dumps([workers_after_fit(101), workers_after_fit(319), workers_after_fit(320)]))
"""


def test_the_pool_starts_with_the_first_fit_of_320_points():
    # Below 320 points the first hand-over of a fit, which wakes the workers,
    # costs more than the pool wins back: everything runs on the calling thread.
    assert run(3, THRESHOLD_CHILD) == [0, 0, 3]
