"""Fits on a machine whose cores are taken by other processes, as Dask and
joblib workers that each hold a pool live: the time of a pooled fit against a
fit on the calling thread alone (RAYON_NUM_THREADS=1), both beside the same
busy processes. A pool that made its caller wait for a worker the scheduler
has not run yet would show here as a ratio far above 1.

    python benchmarks/oversubscribed.py [--sizes 320 400 800] [--busy 2]
"""
import argparse
import json
import multiprocessing
import os
import subprocess
import sys

CHILD = """
import json, sys, time
sys.path.insert(0, {here!r})
from timing import scattered
from pymorvel import Rbf
points, values = scattered({n}, 7)
Rbf(points, values, "multiquadric", 0.5)
best = float("inf")
for _ in range({rounds}):
    start = time.perf_counter()
    Rbf(points, values, "multiquadric", 0.5)
    best = min(best, time.perf_counter() - start)
print(json.dumps(best))
"""


def spin(stop):
    while not stop.is_set():
        pass


def best_fit_seconds(n, threads, rounds):
    code = CHILD.format(here=os.path.dirname(os.path.abspath(__file__)), n=n, rounds=rounds)
    env = dict(os.environ, RAYON_NUM_THREADS=str(threads))
    out = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, check=True)
    return json.loads(out.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[320, 400, 800])
    parser.add_argument("--busy", type=int, default=2, help="spinning processes beside the fits")
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--threads", type=int, default=os.cpu_count() or 2, help="workers of the pooled fit")
    args = parser.parse_args()
    stop = multiprocessing.Event()
    spinners = [multiprocessing.Process(target=spin, args=(stop,), daemon=True) for _ in range(args.busy)]
    for p in spinners:
        p.start()
    try:
        print(f"{args.busy} busy processes; best of {args.rounds} fits (multiquadric, 2-D)")
        print(f"{'points':>7} {'1 thread':>10} {f'{args.threads} workers':>11} {'ratio':>6}")
        for n in args.sizes:
            alone = best_fit_seconds(n, 1, args.rounds)
            pooled = best_fit_seconds(n, args.threads, args.rounds)
            print(f"{n:>7} {alone * 1e3:>8.2f}ms {pooled * 1e3:>9.2f}ms {pooled / alone:>6.2f}")
    finally:
        stop.set()
        for p in spinners:
            p.join()


if __name__ == "__main__":
    main()
