"""Interleaved best-of timing and the scattered sample points that the benchmarks share."""
import gc
import random
import time


def interleaved(first, second, rounds, clock=time.perf_counter):
    """Best time of each callable over `rounds` alternating calls, by `clock`
    (wall time unless told: time.process_time counts the CPU time of all the
    process's threads, which other people's work on a shared machine does not)."""
    best = [float("inf"), float("inf")]
    for _ in range(rounds):
        for slot, fn in enumerate((first, second)):
            gc.collect()
            start = clock()
            fn()
            best[slot] = min(best[slot], clock() - start)
    return best


def scattered(n, seed):
    rng = random.Random(seed)
    points = [[rng.random(), rng.random()] for _ in range(n)]
    values = [px * px - py + 0.5 * (px * py) for px, py in points]
    return points, values
