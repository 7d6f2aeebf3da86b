"""Interleaved best-of timing and the scattered sample points that the benchmarks share."""
import gc
import random
import time


def interleaved(first, second, rounds, clock=time.perf_counter, calls=1):
    """Best time of one call of each callable over `rounds` alternating batches
    of `calls` calls (several calls per batch for calls of a few microseconds,
    which a single clock reading cannot resolve), by `clock` (wall time unless
    told: time.process_time counts the CPU time of all the process's threads,
    which other people's work on a shared machine does not)."""
    best = [float("inf"), float("inf")]
    for _ in range(rounds):
        for slot, fn in enumerate((first, second)):
            gc.collect()
            start = clock()
            for _ in range(calls):
                fn()
            best[slot] = min(best[slot], (clock() - start) / calls)
    return best


def scattered(n, seed):
    rng = random.Random(seed)
    points = [[rng.random(), rng.random()] for _ in range(n)]
    values = [px * px - py + 0.5 * (px * py) for px, py in points]
    return points, values
