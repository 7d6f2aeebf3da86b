"""Times pymorvel and SciPy side by side in one run and prints the ratios.

Every pair of measurements is interleaved (pymorvel, SciPy, pymorvel, ...) and
the best of several rounds is kept, so that a noisy machine hurts both sides
alike. A ratio below 1 means pymorvel is faster.

The fit times are also drawn against N, log-log, to a PNG (docs/bench_fit.png
unless --plot says otherwise). Last, benchmarks/large.py compares models in
patches with SciPy's neighbour mode on large data, in a table of its own.

usage: python benchmarks/run.py [--quick] [--lu-bench PATH] [--plot PATH]
"""
import argparse
import collections
import os
import random
import subprocess
import sys
import tempfile
import textwrap
import time

import numpy as np
from scipy.interpolate import RBFInterpolator
from scipy.linalg import lu_factor

from pymorvel import Rbf
from timing import interleaved, scattered

EPSILON = 0.5


def calls_for(n):
    """Calls per batch for a fit of n points: a batch of at least a few milliseconds.

    Up to N = 1000 a batch also outlasts the moments after the other side's
    call, while OpenBLAS's threads still spin and take a core from our pool.
    """
    return max(1, 20000 // (n * n // 10 + 1)) if n < 500 else max(1, 2 * 10 ** 9 // n ** 3)


def multiquadric_matrix(points):
    p = np.asarray(points)
    s = ((p[:, None, :] - p[None, :, :]) ** 2).sum(axis=2)
    return np.sqrt(EPSILON * EPSILON + np.maximum(s, 2.0 ** -52))


def bench_fit(sizes, rounds):
    rows = []
    for n in sizes:
        points, values = scattered(n, n)
        ours, theirs = interleaved(
            lambda: Rbf(points, values, "multiquadric", EPSILON),
            lambda: RBFInterpolator(points, values, kernel="multiquadric", epsilon=EPSILON, degree=-1),
            rounds, calls=calls_for(n))
        rows.append((f"fit, N = {n} (lists in)", ours, theirs, "RBFInterpolator(degree=-1)"))
    return rows


def plot_fit(path, sizes, fit_rows, rounds):
    import matplotlib
    matplotlib.use("Agg")  # files only: benchmark machines have no display
    import matplotlib.pyplot as plt

    ours = [row[1] for row in fit_rows]
    theirs = [row[2] for row in fit_rows]
    fig, (times, ratios) = plt.subplots(2, 1, figsize=(7, 6), dpi=100, sharex=True, layout="constrained",
                                        gridspec_kw={"height_ratios": [3, 1]})
    times.loglog(sizes, ours, "o-", label="pymorvel Rbf")
    times.loglog(sizes, theirs, "s-", label="SciPy RBFInterpolator(degree=-1)")
    times.set_ylabel(f"seconds (best of {rounds})")
    times.legend()
    times.grid(True, which="both", alpha=0.3)
    ratios.semilogx(sizes, [a / b for a, b in zip(ours, theirs)], "o-", color="k")
    ratios.axhline(1.0, color="0.5", lw=1, ls="--")
    ratios.set_ylabel("pymorvel / SciPy")
    ratios.set_xlabel("N (points)")
    ratios.grid(True, which="both", alpha=0.3)
    ratios.set_xticks(sizes, [str(n) for n in sizes])
    ratios.minorticks_off()
    times.set_title(f"Fit time, multiquadric, 2-D points from lists ({os.cpu_count()} cores)")
    directory = os.path.dirname(path)
    if directory:
        os.makedirs(directory, exist_ok=True)
    fig.savefig(path)
    plt.close(fig)


def bench_lu(sizes, rounds, lu_bench):
    rows = []
    for n in sizes:
        a = multiquadric_matrix(scattered(n, n)[0])
        with tempfile.NamedTemporaryFile(suffix=".f64") as f:
            a.tofile(f.name)

            def ours():
                # The native program times the factorisation alone (no copy),
                # best of three: its first round may still share a core with
                # OpenBLAS's threads, which spin for a while after each call.
                ours.seconds = float(subprocess.run([lu_bench, f.name, str(n), "3"], check=True,
                                                    capture_output=True, text=True).stdout)

            def theirs():
                start = time.perf_counter()
                lu_factor(a, check_finite=False)
                theirs.seconds = time.perf_counter() - start

            best = [float("inf"), float("inf")]
            for _ in range(rounds):
                ours()
                theirs()
                best = [min(best[0], ours.seconds), min(best[1], theirs.seconds)]
        rows.append((f"LU, N = {n}", best[0], best[1], "scipy.linalg.lu_factor"))
    return rows


def lu_ceiling(tile_peak, lu_rows):
    """How close each LU comes to what its update tile allows on this processor.

    The tile's rate on one core with every operand in L1 (separate multiply and
    subtract, as the library must) bounds the factorisation; the same loop with
    fused multiply-adds shows what a BLAS kernel may reach on the same core.
    """
    path, ours, _, fused = subprocess.run([tile_peak], check=True, capture_output=True, text=True).stdout.split()
    ours, fused = float(ours), float(fused)
    cores = os.cpu_count()
    lines = [f"update tile ({path}), one core, operands in L1: {ours:.1f} billion multiply-subtracts/s; "
             + (f"the same loop fused: {fused:.1f}" if fused else "(fused loop timed on AVX-512 only)")]
    for label, mine, theirs, _ in lu_rows:
        n = int(label.split("=")[1])
        work = n ** 3 / 3 / 1e9  # multiply-subtracts of an LU, in billions
        lines.append(f"{label}: pymorvel {work / mine:.1f} ({work / mine / (ours * cores):.0%} of {cores} tiles), "
                     f"SciPy {work / theirs:.1f} billion per second")
    return "\n".join(lines)


# SciPy's epsilon for each kernel of ours at EPSILON (see the README's kernel table).
SCIPY_EPSILON = {"multiquadric": 1.0 / EPSILON, "gaussian": 1.0 / (EPSILON * 2.0 ** 0.5)}


def bench_predict(cases, rounds):
    rows = []
    for kernel, n, m in cases:
        points, values = scattered(n, n)
        queries, _ = scattered(m, n + 1)
        ours_model = Rbf(points, values, kernel, EPSILON)
        theirs_model = RBFInterpolator(points, values, kernel=kernel, epsilon=SCIPY_EPSILON[kernel], degree=-1)
        ours, theirs = interleaved(lambda: ours_model.predict(queries), lambda: theirs_model(queries), rounds)
        size = f"M = N = {n}" if m == n else f"N = {n}, M = {m}"
        rows.append((f"predict {kernel}, {size} (lists in)", ours, theirs, "RBFInterpolator.__call__"))
    return rows


SCALING_SCRIPT = textwrap.dedent("""
    import random, sys, time
    from pymorvel import Rbf
    n, m, rounds = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(n)
    points = [[rng.random(), rng.random()] for _ in range(n)]
    model = Rbf(points, [px - py for px, py in points], "multiquadric", 0.5)
    queries = [[rng.random(), rng.random()] for _ in range(m)]
    best = float("inf")
    for _ in range(rounds + 1):  # the first call starts the pool
        start = time.perf_counter()
        model.predict(queries)
        best = min(best, time.perf_counter() - start)
    print(best)
""")


def bench_predict_scaling(n, m, rounds):
    """The same prediction on a pool of 2 workers and of 1, alternately, each in its own process."""
    best = {1: float("inf"), 2: float("inf")}
    for _ in range(rounds):
        for workers in (2, 1):
            out = subprocess.run([sys.executable, "-c", SCALING_SCRIPT, str(n), str(m), "3"], check=True,
                                 capture_output=True, text=True,
                                 env=dict(os.environ, RAYON_NUM_THREADS=str(workers))).stdout
            best[workers] = min(best[workers], float(out))
    return [(f"predict multiquadric, N = {n}, M = {m}, 2 workers", best[2], best[1], "pymorvel on 1 worker")]


def blas_description():
    try:
        from threadpoolctl import threadpool_info
    except ImportError:
        return "unknown (threadpoolctl is not installed)"
    return "; ".join(f"{i['internal_api']} {i['version']} {i['architecture']} on {i['num_threads']} threads"
                     for i in threadpool_info() if i["user_api"] == "blas")


def bench_conversion(rounds, count=10 ** 6):
    numbers = [random.random() for _ in range(count)]
    array = np.asarray(numbers)
    # With a str as values, x is converted by the first two shape trials and
    # refused at its first item by the other two: two full conversions.
    def convert(obj):
        try:
            Rbf(obj, "values")
        except ValueError:
            pass

    rows = []
    ours, theirs = interleaved(lambda: convert(numbers), lambda: np.asarray(numbers, dtype=float), rounds)
    rows.append((f"convert {count:.0e} floats, list", ours / 2, theirs, "numpy.asarray(list)"))
    list_seconds = ours / 2
    # A sequence that is neither a list nor a buffer takes the iterator road.
    queue = collections.deque(numbers)
    ours, theirs = interleaved(lambda: convert(queue), lambda: np.fromiter(queue, dtype=float), rounds)
    rows.append((f"convert {count:.0e} floats, deque (iterated)", ours / 2, theirs, "numpy.fromiter(deque)"))
    iterated_seconds = ours / 2
    ours, theirs = interleaved(lambda: convert(array), lambda: np.array(array, copy=True), rounds)
    rows.append((f"convert {count:.0e} floats, float64 array", ours / 2, theirs, "numpy.array(copy=True)"))
    return rows, list_seconds / (ours / 2), iterated_seconds / (ours / 2)


PEAK_SCRIPT = textwrap.dedent("""
    import random, sys
    n, which = int(sys.argv[1]), sys.argv[2]
    rng = random.Random(n)
    points = [[rng.random(), rng.random()] for _ in range(n)]
    values = [px - py for px, py in points]
    if which == "scipy":
        import numpy as np
        from scipy.interpolate import RBFInterpolator
        points, values = np.asarray(points), np.asarray(values)
    else:
        from pymorvel import Rbf
    def status(key):
        for line in open("/proc/self/status"):
            if line.startswith(key):
                return int(line.split()[1]) * 1024
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # restart the peak counter here
    base = status("VmRSS")
    if which == "scipy":
        RBFInterpolator(points, values, kernel="multiquadric", epsilon=0.5, degree=-1)
    else:
        Rbf(points, values, "multiquadric", 0.5)
    print((status("VmHWM") - base) / (8 * n * n))
""")


def bench_memory(n):
    peaks = []
    for which in ("pymorvel", "scipy"):
        out = subprocess.run([sys.executable, "-c", PEAK_SCRIPT, str(n), which], check=True,
                             capture_output=True, text=True).stdout
        peaks.append(float(out))
    return peaks


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true", help="small sizes, fewer rounds")
    parser.add_argument("--lu-bench", default=os.path.join("build", "bench", "lu_bench"))
    parser.add_argument("--tile-peak", default=os.path.join("build", "bench", "tile_peak"))
    parser.add_argument("--plot", default=os.path.join("docs", "bench_fit.png"),
                        help="where to draw the fit times against N (PNG)")
    args = parser.parse_args()
    fit_sizes = [10, 100, 500, 1000] if args.quick else [10, 50, 100, 200, 500, 1000, 2000, 4000]
    lu_sizes = [500, 1000] if args.quick else [500, 1000, 2000, 4000]
    rounds = 2 if args.quick else 5
    large = (2000, 20000) if not args.quick else (500, 5000)
    predict_cases = [("multiquadric", n, n) for n in lu_sizes[:3]]
    predict_cases += [("multiquadric",) + large, ("gaussian",) + large]

    fit_rows = bench_fit(fit_sizes, rounds)
    rows = list(fit_rows)
    rows += bench_lu(lu_sizes, rounds, args.lu_bench)
    rows += bench_predict(predict_cases, rounds)
    rows += bench_predict_scaling(*large, rounds=2 if args.quick else 3)
    conversion_rows, over_list, over_iterated = bench_conversion(rounds)
    rows += conversion_rows

    print(f"| case | pymorvel (s) | peer (s) | ratio | peer |")
    print(f"|---|---:|---:|---:|---|")
    for label, ours, theirs, peer in rows:
        print(f"| {label} | {ours:.3g} | {theirs:.3g} | {ours / theirs:.2f} | {peer} |")
    print(f"\nconverting a float64 array is {over_list:.0f} x faster than converting a list of the same floats "
          f"and {over_iterated:.0f} x faster than iterating a sequence of them")
    n = fit_sizes[-1]
    ours, theirs = bench_memory(n)
    print(f"peak extra memory of one fit at N = {n}: pymorvel {ours:.2f}, SciPy {theirs:.2f} "
          f"(in N x N float64 matrices)")
    print(f"SciPy's BLAS: {blas_description()}; {os.cpu_count()} CPUs")
    print(lu_ceiling(args.tile_peak, [row for row in rows if row[0].startswith("LU")]))
    plot_fit(args.plot, fit_sizes, fit_rows, rounds)
    # stderr, so that stdout stays the table alone
    print(f"wrote {args.plot}", file=sys.stderr)
    # Large scattered data in patches, against SciPy's neighbour mode: a table of its own.
    print()
    subprocess.run([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "large.py")]
                   + (["--quick"] if args.quick else []), check=True)


if __name__ == "__main__":
    main()
