"""NumPy in and out: predict into out= beside SciPy's RBFInterpolator, float32 and Fortran-ordered queries beside C-ordered float64, and the peak memory of a large predict into out."""
import argparse
import json
import subprocess
import sys
import textwrap

import numpy as np
from scipy.interpolate import RBFInterpolator

from pymorvel import Rbf
from timing import interleaved

EPSILON = 0.3
COMPONENTS = 3


def samples(n, seed=1):
    rng = np.random.default_rng(seed)
    x = rng.random((n, 2))
    y = np.stack([np.sin(3 * x[:, 0]) + x[:, 1], x[:, 0] * x[:, 1], np.cos(2 * x[:, 1])], axis=1)
    return x, y


def versus_scipy(n, m, rounds):
    x, y = samples(n)
    ours = Rbf(x, y, "gaussian", EPSILON)
    # The same Gaussian, exp(-r^2 / (2 e^2)) = exp(-(r / (sqrt(2) e))^2), and no polynomial term.
    theirs = RBFInterpolator(x, y, kernel="gaussian", epsilon=1.0 / (np.sqrt(2.0) * EPSILON), degree=-1)
    queries = np.random.default_rng(2).random((m, 2))
    out = np.empty((m, COMPONENTS))
    # Large Gaussian systems are too ill-conditioned for two solvers to agree closely.
    if n <= 100:
        assert np.allclose(ours.predict(queries[:100], out=out[:100]), theirs(queries[:100]), atol=1e-6)
    t_ours, t_theirs = interleaved(lambda: ours.predict(queries, out=out), lambda: theirs(queries), rounds)
    return {"case": f"vector predict into out, N={n}, M={m}, {COMPONENTS} components",
            "pymorvel_s": t_ours, "scipy_s": t_theirs, "ratio": t_ours / t_theirs}


def query_layouts(n, m, rounds):
    x, y = samples(n)
    model = Rbf(x, y, "gaussian", EPSILON)
    queries = np.random.default_rng(3).random((m, 2))
    out = np.empty((m, COMPONENTS))
    rows = []
    for name, layout in (("float32", queries.astype(np.float32)), ("Fortran float64", np.asfortranarray(queries))):
        t_layout, t_c = interleaved(lambda: model.predict(layout, out=out), lambda: model.predict(queries, out=out),
                                    rounds)
        rows.append({"case": f"predict into out from {name} queries vs C float64, N={n}, M={m}",
                     "layout_s": t_layout, "c_float64_s": t_c, "ratio": t_layout / t_c})
    return rows


PEAK_CHILD = """
    import json
    import numpy as np
    from pymorvel import Rbf

    def status(field):
        with open("/proc/self/status") as f:
            return next(int(line.split()[1]) * 1024 for line in f if line.startswith(field + ":"))

    x = np.random.default_rng(1).random((20, 2))
    model = Rbf(x, np.random.default_rng(2).random((20, 3)), "gaussian", 0.3)
    queries = np.random.default_rng(3).random(({m}, 2))
    out = np.empty(({m}, 3))
    out.fill(0.0)  # its pages are resident before the call
    model.predict(queries[:10], out=out[:10])
    # Writing 5 resets the peak resident size to the current one.
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")
    before = status("VmRSS")
    model.predict(queries, out=out)
    print(json.dumps({{"extra_bytes": status("VmHWM") - before, "out_bytes": out.nbytes}}))
"""


def peak_memory(m):
    child = subprocess.run([sys.executable, "-c", textwrap.dedent(PEAK_CHILD.format(m=m))], capture_output=True,
                           text=True, check=True)
    report = json.loads(child.stdout)
    return {"case": f"peak extra resident memory of a {m} x {COMPONENTS} predict into out",
            "extra_MB": report["extra_bytes"] / 1e6, "out_MB": report["out_bytes"] / 1e6,
            "ratio": report["extra_bytes"] / report["out_bytes"]}


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--m", type=int, default=200_000)
    args = parser.parse_args()
    rows = [versus_scipy(20, args.m, args.rounds), versus_scipy(2000, args.m, max(2, args.rounds // 2))]
    rows += query_layouts(20, args.m, args.rounds)
    rows += query_layouts(2000, args.m, max(2, args.rounds // 2))
    rows.append(peak_memory(1_000_000))
    for row in rows:
        print(json.dumps(row))


if __name__ == "__main__":
    main()
