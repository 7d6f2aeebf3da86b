"""Interleaved best-of timing and the scattered sample points that the benchmarks share."""
import gc
import random
import time


def interleaved(first, second, rounds):
    """Best wall time of each callable over `rounds` alternating calls."""
    best = [float("inf"), float("inf")]
    for _ in range(rounds):
        for slot, fn in enumerate((first, second)):
            gc.collect()
            start = time.perf_counter()
            fn()
            best[slot] = min(best[slot], time.perf_counter() - start)
    return best


def scattered(n, seed):
    rng = random.Random(seed)
    points = [[rng.random(), rng.random()] for _ in range(n)]
    values = [px * px - py + 0.5 * (px * py) for px, py in points]
    return points, values
