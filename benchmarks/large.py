"""Large scattered data: pymorvel in patches against SciPy's RBFInterpolator(neighbors=50) and the dense fit.

For each case it prints, side by side: fit plus predict time (wall), the peak
memory the work added (resident, in MB), the RMS error against the function
sampled (not Franke's), and the largest jump along a line: the most that the
model's change between two points 1e-12 apart differs from the function's own
change there, relative to the data's range. A discontinuity shows as a jump
of its own size; a continuous model's jump is rounding.

Each measurement runs in a fresh process, so that its peak memory is its own.
Both sides use the same kernel (multiquadric; SciPy's epsilon is 1 / ours) and
polynomial degree (1). SciPy's grid prediction at N = 1e6 is timed on a strip of
the grid and scaled up (marked "est."): the whole grid would take minutes and
gigabytes.

usage: python benchmarks/large.py [--quick] [--largest N] [--patch-size P]
"""
import argparse
import json
import os
import subprocess
import sys
import time

import numpy as np

KERNEL, DEGREE = "multiquadric", 1
# A line across the square, and where along it the jumps are looked for.
LINE = (np.array([0.05, 0.12]), np.array([0.93, 0.81]))


def field(p):
    """The function sampled: smooth, with a ridge, and not Franke's."""
    return np.sin(5.0 * p[:, 0]) * np.cos(4.0 * p[:, 1]) + 0.5 * np.tanh(4.0 * (p[:, 0] + p[:, 1] - 1.0))


def epsilon_for(n):
    """Four mean sample spacings: a good multiquadric shape for both sides."""
    return 4.0 / np.sqrt(n)


def rss(key):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(key):
                return int(line.split()[1]) * 1024
    return 0


def largest_jump(evaluate, data_range, candidates=64, start=20000):
    """Bisects towards the largest jumps along LINE: from `start` intervals the
    `candidates` whose model change strays most from the function's are halved,
    keeping the worse half each time, down to 1e-12 apart."""
    a, b = LINE
    length = float(np.linalg.norm(b - a))
    def points(t):
        return a + np.outer(t, b - a)
    def excess(lo, hi):
        pl, ph = points(lo), points(hi)
        return np.abs((evaluate(ph) - evaluate(pl)) - (field(ph) - field(pl)))
    t = np.linspace(0.0, 1.0, start + 1)
    values = evaluate(points(t)) - field(points(t))
    order = np.argsort(-np.abs(np.diff(values)))[:candidates]
    lo, hi = t[order], t[order + 1]
    while (hi[0] - lo[0]) * length > 1e-12:
        mid = 0.5 * (lo + hi)
        left, right = excess(lo, mid), excess(mid, hi)
        keep_left = left >= right
        lo, hi = np.where(keep_left, lo, mid), np.where(keep_left, mid, hi)
    return float(np.max(excess(lo, hi))) / data_range


def child(case):
    """One measurement, in this process; prints its result as JSON."""
    rng = np.random.default_rng(case["seed"])
    n = case["n"]
    x = rng.random((n, 2))
    y = field(x)
    if case["queries"] == "grid":
        side = np.linspace(0.0, 1.0, case["m"])
        gx, gy = np.meshgrid(side, side)
        q = np.column_stack([gx.ravel(), gy.ravel()])
    else:
        q = rng.random((case["m"], 2))
    rows = case.get("rows")  # SciPy on a strip of the grid only
    if rows:
        q = q[: rows * case["m"]]
    e = epsilon_for(n)
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # restart the peak counter here
    base = rss("VmRSS")
    cpu = time.process_time()
    start = time.perf_counter()
    if case["method"] == "scipy":
        from scipy.interpolate import RBFInterpolator
        model = RBFInterpolator(x, y, neighbors=50, kernel=KERNEL, epsilon=1.0 / e, degree=DEGREE)
        fitted, fit_cpu = time.perf_counter(), time.process_time() - cpu
        evaluate = model
        values = model(q) if case["m"] else None
    else:
        from pymorvel import Rbf
        size = case["patch_size"] if case["method"] == "patches" else None
        model = Rbf(x, y, KERNEL, e, degree=DEGREE, patch_size=size)
        fitted, fit_cpu = time.perf_counter(), time.process_time() - cpu
        def evaluate(p):
            return np.asarray(model.predict(p))
        values = evaluate(q) if case["m"] else None
    done = time.perf_counter()
    peak = rss("VmHWM") - base
    out = {"fit": fitted - start, "predict": done - fitted, "peak": peak / 2 ** 20, "fit_cpu": fit_cpu,
           "cpu": time.process_time() - cpu}
    if values is not None:
        out["rms"] = float(np.sqrt(np.mean((values - field(q)) ** 2)))
        out["jump"] = largest_jump(evaluate, float(np.ptp(y)))
    if case["method"] == "patches":
        out["patches"] = model.patches
    print(json.dumps(out))


def measure(case):
    out = subprocess.run([sys.executable, __file__, "--child", json.dumps(case)], check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out.splitlines()[-1])


def seconds(r, scale=1.0):
    return r["fit"] + r["predict"] * scale


def cpu_seconds(r, scale=1.0):
    """CPU time of all the process's threads: what a loaded machine changes least."""
    return r["fit_cpu"] + (r["cpu"] - r["fit_cpu"]) * scale


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--child", help=argparse.SUPPRESS)
    parser.add_argument("--quick", action="store_true", help="smaller sizes")
    parser.add_argument("--largest", type=int, default=10 ** 7, help="the largest fit, 0 to leave it out")
    parser.add_argument("--patch-size", type=int, default=64)
    args = parser.parse_args()
    if args.child:
        child(json.loads(args.child))
        return
    p = args.patch_size
    load = os.getloadavg()[0]
    scale = 10 if args.quick else 1
    rows = []

    # Random queries as many as samples.
    n = 10 ** 5 // scale
    case = {"n": n, "m": n, "queries": "random", "seed": 1, "patch_size": p}
    ours, theirs = measure(dict(case, method="patches")), measure(dict(case, method="scipy"))
    rows.append((f"N = {n:.0e}, M = {n:.0e} random", ours, theirs, 1.0))

    # A 1000 x 1000 grid; SciPy on 10 of its rows.
    n, side, strip = 10 ** 6 // scale, 1000 // scale, 10
    case = {"n": n, "m": side, "queries": "grid", "seed": 2, "patch_size": p}
    ours = measure(dict(case, method="patches"))
    theirs = measure(dict(case, method="scipy", rows=strip))
    rows.append((f"N = {n:.0e}, {side} x {side} grid", ours, theirs, side / strip))

    # Against the dense fit, where it fits.
    n = 8000 // (2 if args.quick else 1)
    case = {"n": n, "m": 200, "queries": "grid", "seed": 3, "patch_size": p}
    ours, dense, theirs = (measure(dict(case, method=m)) for m in ("patches", "dense", "scipy"))
    rows.append((f"N = {n}, 200 x 200 grid", ours, theirs, 1.0))

    print(f"| case | pymorvel patch_size={p} (s) | SciPy neighbors=50 (s) | time ratio | CPU s (ours / SciPy) "
          f"| peak MB (ours / SciPy) | RMS (ours / SciPy) | largest jump (ours / SciPy) |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for label, a, b, grow in rows:
        estimate = " est." if grow != 1.0 else ""
        print(f"| {label} | {seconds(a):.3g} | {seconds(b, grow):.3g}{estimate} | {seconds(a) / seconds(b, grow):.3f} "
              f"| {cpu_seconds(a):.3g} / {cpu_seconds(b, grow):.3g}{estimate} "
              f"| {a['peak']:.0f} / {b['peak']:.0f}{estimate} "
              f"| {a['rms']:.2e} / {b['rms']:.2e} | {a['jump']:.1e} / {b['jump']:.1e} |")
    print(f"\nN = {8000 // (2 if args.quick else 1)}: dense fit {seconds(dense):.3g} s, {dense['peak']:.0f} MB, "
          f"RMS {dense['rms']:.2e}, jump {dense['jump']:.1e}; patches' RMS is {ours['rms'] / dense['rms']:.2f} x "
          f"the dense fit's")
    if args.largest:
        n = args.largest // scale
        big = measure({"n": n, "m": 0, "queries": "random", "seed": 4, "patch_size": p, "method": "patches"})
        print(f"N = {n:.0e}: fit {big['fit']:.3g} s ({big['cpu']:.3g} s CPU), peak {big['peak']:.0f} MB above the "
              f"samples' arrays ({n * 24 / 2 ** 20:.0f} MB), {big['patches']} patches")
    print(f"{os.cpu_count()} CPUs; load average {load:.2f} before, {os.getloadavg()[0]:.2f} after")


if __name__ == "__main__":
    main()
