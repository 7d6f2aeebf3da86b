"""Draws docs/epsilon_selection.png: select_epsilon's leave-one-out score against the true error, over epsilon."""
import argparse
import math
import os

import matplotlib

matplotlib.use("Agg")  # files only: no display is needed, nor wanted on a build machine
import matplotlib.pyplot as plt
import numpy as np

from franke_demo import franke, scattered_samples
from pymorvel import Rbf, loo_residuals, select_epsilon

DENSE = 48  # epsilons per curve


def oscillatory(x):
    return math.sin(25 * x) * math.exp(-x)


def cases():
    """(title, x, y, kernel, truth at x, test points), the demo's Franke samples and a 1-D wave."""
    points, values = scattered_samples(400, 2026)
    rng = np.random.default_rng(1)
    test = rng.random((1500, 2)).tolist()
    yield ("Franke, 400 scattered samples, multiquadric", points, values, "multiquadric",
           [franke(a, b) for a, b in test], test)
    xs = np.random.default_rng(2).random(120).tolist()
    test = np.linspace(0.0, 1.0, 1500).tolist()
    yield ("sin(25x) e^-x, 120 samples, gaussian", xs, [oscillatory(v) for v in xs], "gaussian",
           [oscillatory(v) for v in test], test)


def rms(model, test, truth):
    got = np.asarray(model.predict(test), dtype=float).reshape(-1)
    return float(np.sqrt(np.mean((got - np.asarray(truth)) ** 2)))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--out", default="docs")
    args = parser.parse_args()
    fig, axes = plt.subplots(1, 2, figsize=(11, 4.2))
    for ax, (title, x, y, kernel, truth, test) in zip(axes, cases()):
        chosen = select_epsilon(x, y, kernel)
        searched = [e for e in chosen.curve if e.kernel_name == kernel]
        low = min(e.epsilon for e in searched) / 2
        high = max(e.epsilon for e in searched) * 2
        grid = np.geomspace(low, high, DENSE)
        score, error = [], []
        for eps in grid:
            residuals = np.asarray(loo_residuals(x, y, kernel, float(eps)), dtype=float)
            score.append(float(np.mean(np.abs(residuals))))
            error.append(rms(Rbf(x, y, kernel, float(eps)), test, truth))
        ax.loglog(grid, error, color="black", label="true RMS error (test points)")
        ax.loglog(grid, score, color="tab:blue", label="leave-one-out score (mean |residual|)")
        ax.loglog([e.epsilon for e in searched], [e.score for e in searched], "o", color="tab:blue",
                  markersize=4, label=f"select_epsilon's {len(searched)} evaluations")
        ax.axvline(chosen.epsilon, color="tab:red", linestyle="--",
                   label=f"choice {chosen.epsilon:.3g}: RMS {rms(chosen.model, test, truth):.2g}")
        best = int(np.argmin(error))
        ax.plot(grid[best], error[best], "s", color="black", label=f"best of the curve: RMS {error[best]:.2g}")
        ax.set_title(title, fontsize=10)
        ax.set_xlabel("epsilon")
        ax.legend(fontsize=7, loc="upper left")
    fig.tight_layout()
    os.makedirs(args.out, exist_ok=True)
    path = os.path.join(args.out, "epsilon_selection.png")
    fig.savefig(path, dpi=110)
    print(path)


if __name__ == "__main__":
    main()
