"""Times two builds of the extension against each other in one process: the kernels' fits and predictions.

Both modules are loaded from their files side by side, every measurement is
interleaved (before, after, before, ...) and the best of several rounds is
kept, so that a noisy machine hurts both builds alike. A ratio below 1 means the
second build is faster. The inputs are float64 arrays, so conversion costs
little and the kernel evaluations weigh as much as they can.

Times are CPU seconds of the whole process (all threads) unless --clock wall
says otherwise: on a shared machine they wander far less than wall time.

usage: python benchmarks/compare_builds.py BEFORE.so AFTER.so [--rounds R] [--n N] [--m M] [--clock cpu|wall]
                                          [--kernels gaussian,thin_plate_spline,...]
"""
import argparse
import importlib.util
import time

import numpy as np

from timing import interleaved, scattered

# Epsilons conditioned enough at N = 2000 in the unit square for each kernel to fit.
EPSILONS = {"gaussian": 0.05, "thin_plate_spline": 1.0, "multiquadric": 0.5, "inverse_multiquadratic": 0.5,
            "linear": 1.0, "cubic": 1.0}
CLOCKS = {"cpu": time.process_time, "wall": time.perf_counter}


def load(path):
    # Extension modules are keyed by file as well as by name, so two builds of
    # the same module can live in one interpreter.
    found = importlib.util.spec_from_file_location("pymorvel", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--n", type=int, default=2000, help="samples in each fit")
    parser.add_argument("--m", type=int, default=20000, help="query points in each prediction")
    parser.add_argument("--clock", choices=CLOCKS, default="cpu")
    parser.add_argument("--kernels", default="gaussian,thin_plate_spline",
                        help="comma-separated kernel names (" + ", ".join(EPSILONS) + ")")
    args = parser.parse_args()
    clock = CLOCKS[args.clock]
    before, after = load(args.before), load(args.after)
    points, values = (np.asarray(a) for a in scattered(args.n, args.n))
    queries = np.asarray(scattered(args.m, args.m + 1)[0])

    print(f"| case | before ({args.clock} s) | after ({args.clock} s) | after / before |")
    print("|---|---:|---:|---:|")
    for kernel in args.kernels.split(","):
        epsilon = EPSILONS[kernel]
        fit = [lambda module=module: module.Rbf(points, values, kernel, epsilon) for module in (before, after)]
        times = interleaved(*fit, args.rounds, clock)
        print(f"| {kernel} fit, N = {args.n} | {times[0]:.4f} | {times[1]:.4f} | {times[1] / times[0]:.3f} |")
        models = [f() for f in fit]
        times = interleaved(lambda: models[0].predict(queries), lambda: models[1].predict(queries), args.rounds,
                            clock)
        print(f"| {kernel} predict, M = {args.m}, N = {args.n} | {times[0]:.4f} | {times[1]:.4f} "
              f"| {times[1] / times[0]:.3f} |")


if __name__ == "__main__":
    main()
