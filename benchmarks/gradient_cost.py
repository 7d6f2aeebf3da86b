"""Times gradient against predict on the same model and queries, and prints their ratio.

Both spread large queries over the worker pool; gradient evaluates one term
at a time, while predict evaluates four query points per vector instruction,
so the ratio shows the cost of a derivative per kernel term and what the
gradient has yet to gain from vector instructions. The calls are interleaved and the
best of several rounds is kept.

usage: python benchmarks/gradient_cost.py [--n 2000] [--rounds 7]
"""
import argparse
import random

from pymorvel import Rbf
from run import interleaved


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--n", type=int, default=2000, help="samples, and as many query points")
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()
    rng = random.Random(1)
    print(f"N = M = {args.n}, best of {args.rounds}")
    print(f"{'points':<8} {'values':<8} {'options':<26} {'predict (s)':>12} {'gradient (s)':>13} {'ratio':>6}")
    for dimension in (1, 2, 3):
        def point():
            return rng.random() if dimension == 1 else [rng.random() for _ in range(dimension)]
        x = [point() for _ in range(args.n)]
        queries = [point() for _ in range(args.n)]
        for values, y in (("number", [rng.gauss(0, 1) for _ in x]), ("vector", [[rng.gauss(0, 1)] * 3 for _ in x])):
            for options in ({}, {"degree": 1, "smoothing": 1e-3}):
                model = Rbf(x, y, "gaussian", 0.05, **options)
                predict, gradient = interleaved(lambda: model.predict(queries), lambda: model.gradient(queries),
                                                args.rounds)
                label = ", ".join(f"{k}={v}" for k, v in options.items()) or "-"
                print(f"{dimension}-D{'':<5} {values:<8} {label:<26} {predict:>12.4f} {gradient:>13.4f} "
                      f"{gradient / predict:>6.2f}")


if __name__ == "__main__":
    main()
