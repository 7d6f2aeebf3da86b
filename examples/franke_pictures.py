"""Draws the README's figures: Franke's function fitted with two kernels, and epsilon's effect on a Gaussian fit."""
import argparse
import math
import os

import matplotlib

matplotlib.use("Agg")  # files only: no display is needed, nor wanted on a build machine
import matplotlib.pyplot as plt
from matplotlib import colors
import numpy as np

# The demo's samples, so the top row shows the errors `make demo` prints.
from franke_demo import franke, scattered_samples
from pymorvel import Rbf

# Multiquadric with the demo's epsilon, so the top row shows the errors `make demo`
# prints; the Gaussian's epsilon sits just below the point where its matrix turns
# ill-conditioned on these samples (0.15 is already worse by two orders of magnitude).
FRANKE_KERNELS = [("multiquadric", 0.1), ("gaussian", 0.1)]

# Runge's function on equispaced nodes: as epsilon grows the Gaussian interpolant
# tends to the polynomial through the nodes, which oscillates near the ends.
RUNGE_SAMPLES = 11
RUNGE_EPSILONS = [0.03, 0.12, 1.0]


def runge(x):
    return 1.0 / (1.0 + 25.0 * x * x)


def signed_decades(largest):
    """Contour levels for errors of either sign, in half decades down from `largest`,
    and colourbar ticks at every other level.

    The errors of a global interpolant span orders of magnitude (large at the
    corners, tiny inside), so a linear scale would paint most of the square white.
    """
    top = 10.0 ** (math.ceil(2.0 * math.log10(largest)) / 2.0)
    positive = [top * 10.0 ** (-k / 2.0) for k in range(7)]
    negative = [-level for level in positive]
    return negative + positive[::-1], negative[::2] + positive[::-2]


def draw_franke(path, samples, grid, seed):
    points, values = scattered_samples(samples, seed)
    sample_array = np.asarray(points)
    axis = np.linspace(0.0, 1.0, grid)
    gx, gy = np.meshgrid(axis, axis)
    queries = np.column_stack([gx.ravel(), gy.ravel()])
    truth = np.vectorize(franke)(gx, gy)

    fits = []
    for kernel, epsilon in FRANKE_KERNELS:
        rbf = Rbf(points, values, kernel_name=kernel, epsilon=epsilon)
        surface = np.asarray(rbf.predict(queries)).reshape(gx.shape)
        error = surface - truth
        rms = math.sqrt(float(np.mean(error ** 2)))
        worst = float(np.max(np.abs(error)))
        fits.append((kernel, epsilon, surface, error, rms, worst))

    fig, axes = plt.subplots(2, 3, figsize=(12, 7.5), dpi=100, layout="constrained")
    # One value scale for the truth and both interpolants, so their colours compare.
    low = min(truth.min(), *(f[2].min() for f in fits))
    high = max(truth.max(), *(f[2].max() for f in fits))
    value_levels = np.linspace(low, high, 25)
    error_levels, error_ticks = signed_decades(max(f[5] for f in fits))
    error_norm = colors.BoundaryNorm(error_levels, plt.get_cmap("RdBu_r").N)

    axes[0, 0].contourf(gx, gy, truth, levels=value_levels, cmap="viridis")
    axes[0, 0].set_title("Franke's function")
    image = axes[1, 0].scatter(sample_array[:, 0], sample_array[:, 1], c=values, s=12,
                               cmap="viridis", vmin=low, vmax=high, edgecolors="none")
    axes[1, 0].set_title(f"{samples} scattered samples")
    for row, (kernel, epsilon, surface, error, rms, worst) in enumerate(fits):
        axes[row, 1].contourf(gx, gy, surface, levels=value_levels, cmap="viridis")
        axes[row, 1].plot(sample_array[:, 0], sample_array[:, 1], ".", color="k", ms=1.5, alpha=0.5)
        axes[row, 1].set_title(f"{kernel}, epsilon = {epsilon}")
        bands = axes[row, 2].contourf(gx, gy, error, levels=error_levels, cmap="RdBu_r", norm=error_norm)
        axes[row, 2].set_title(f"error: RMS {rms:.1e}, max {worst:.1e}")
    fig.colorbar(image, ax=axes[:, :2], label="value", shrink=0.8)
    fig.colorbar(bands, ax=axes[:, 2], label="interpolant - truth", shrink=0.8,
                 ticks=error_ticks, format="%.0e")
    for ax in axes.flat:
        ax.set_aspect("equal")
        ax.set_xlim(0.0, 1.0)
        ax.set_ylim(0.0, 1.0)
    fig.suptitle(f"pymorvel interpolating Franke's function from {samples} scattered samples "
                 f"(errors on a {grid} x {grid} grid)")
    fig.savefig(path)
    plt.close(fig)
    return fits


def draw_epsilon(path):
    nodes = np.linspace(-1.0, 1.0, RUNGE_SAMPLES)
    node_values = runge(nodes)
    fine = np.linspace(-1.0, 1.0, 801)

    fig, ax = plt.subplots(figsize=(10, 4.5), dpi=100, layout="constrained")
    ax.plot(fine, runge(fine), "--", color="0.4", lw=1.5, label="Runge's function 1 / (1 + 25 x²)")
    for epsilon in RUNGE_EPSILONS:
        try:
            rbf = Rbf(nodes, node_values, epsilon=epsilon)
        except ValueError as e:
            # A near-singular matrix is refused; the other curves still tell the story.
            print(f"epsilon = {epsilon}: no fit ({e})")
            continue
        fitted = np.asarray(rbf.predict(fine))
        worst = float(np.max(np.abs(fitted - runge(fine))))
        ax.plot(fine, fitted, lw=1.8, label=f"epsilon = {epsilon} (max error {worst:.2f})")
    ax.plot(nodes, node_values, "o", color="k", ms=6, zorder=3, label=f"{RUNGE_SAMPLES} samples")
    ax.set_xlabel("x")
    ax.set_ylabel("y")
    ax.set_title("Gaussian kernel: too small an epsilon leaves bumps, too large a one oscillates")
    ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=9)
    fig.savefig(path)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--out", default="docs", help="directory for the PNG files (default: docs)")
    parser.add_argument("--samples", type=int, default=400, help="scattered samples of Franke's function")
    parser.add_argument("--grid", type=int, default=60, help="grid points per side for the maps and errors")
    parser.add_argument("--seed", type=int, default=2026)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    franke_path = os.path.join(args.out, "franke.png")
    for kernel, epsilon, _, _, rms, worst in draw_franke(franke_path, args.samples, args.grid, args.seed):
        print(f"{kernel:<14} epsilon {epsilon:<5} RMS error {rms:.3e}  max error {worst:.3e}")
    print(f"wrote {franke_path}")

    epsilon_path = os.path.join(args.out, "epsilon_gaussian_1d.png")
    draw_epsilon(epsilon_path)
    print(f"wrote {epsilon_path}")


if __name__ == "__main__":
    main()
