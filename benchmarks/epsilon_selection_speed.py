"""Cost of one leave-one-out evaluation against one fit, and of a whole select_epsilon, at several sizes."""
import argparse
import math
import random
import time

import pymorvel


def best_of(repeats, call):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--sizes", type=int, nargs="+", default=[400, 1000, 2000])
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args()
    print(f"{'N':>6} {'fit s':>9} {'loo s':>9} {'loo/fit':>8} {'select s':>9} {'evals':>6} {'select/fit':>10}")
    for n in args.sizes:
        rng = random.Random(n)
        x = [[rng.random(), rng.random()] for _ in range(n)]
        y = [math.sin(4 * a) * math.cos(3 * b) for a, b in x]
        fit = best_of(args.repeats, lambda: pymorvel.Rbf(x, y, "multiquadric", 0.3))
        loo = best_of(args.repeats, lambda: pymorvel.loo_residuals(x, y, "multiquadric", 0.3))
        start = time.perf_counter()
        chosen = pymorvel.select_epsilon(x, y, "multiquadric")
        select = time.perf_counter() - start
        print(f"{n:>6} {fit:>9.4f} {loo:>9.4f} {loo / fit:>8.2f} {select:>9.3f} {chosen.evaluations:>6} "
              f"{select / fit:>10.1f}")


if __name__ == "__main__":
    main()
