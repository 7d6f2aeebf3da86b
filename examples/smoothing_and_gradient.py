"""Draws the README's figures for the opt-in extensions: smoothing noisy samples, and the gradient of Franke's function."""
import argparse
import math
import os
import random

import matplotlib

matplotlib.use("Agg")  # files only: no display is needed, nor wanted on a build machine
import matplotlib.pyplot as plt
import numpy as np
from matplotlib import colors

from franke_demo import franke, scattered_samples
from pymorvel import Rbf

# A smooth curve under noise, sampled on a jittered grid of the unit interval.
NOISE = 0.15
SMOOTHING_KERNEL, SMOOTHING_EPSILON, SMOOTHING_DEGREE = "gaussian", 0.1, 1
# Candidates for the smoothing, judged by cross-validation on the samples alone.
CANDIDATES = [10.0 ** (k / 2.0) for k in range(-12, 3)]
FOLDS = 5


def curve(x):
    return math.sin(2.0 * math.pi * x) + 0.5 * x


def noisy_samples(count, seed):
    rng = random.Random(seed)
    xs = [(i + 0.5 + 0.8 * (rng.random() - 0.5)) / count for i in range(count)]
    return xs, [curve(x) + rng.gauss(0.0, NOISE) for x in xs]


def smoothed(xs, ys, smoothing):
    return Rbf(xs, ys, SMOOTHING_KERNEL, SMOOTHING_EPSILON, smoothing=smoothing, degree=SMOOTHING_DEGREE)


def cross_validation_error(xs, ys, smoothing):
    """Mean squared error on each fold's samples of a fit to the other folds."""
    total = 0.0
    for fold in range(FOLDS):
        train = [i for i in range(len(xs)) if i % FOLDS != fold]
        held = [i for i in range(len(xs)) if i % FOLDS == fold]
        model = smoothed([xs[i] for i in train], [ys[i] for i in train], smoothing)
        predicted = model.predict([xs[i] for i in held])
        total += sum((p - ys[i]) ** 2 for p, i in zip(predicted, held))
    return total / len(xs)


def draw_smoothing(path, count, seed):
    xs, ys = noisy_samples(count, seed)
    scores = [(cross_validation_error(xs, ys, s), s) for s in CANDIDATES]
    chosen = min(scores)[1]
    fine = np.linspace(0.0, 1.0, 801)
    truth = np.array([curve(x) for x in fine])

    fig, ax = plt.subplots(figsize=(10, 4.5), dpi=100, layout="constrained")
    ax.plot(fine, truth, "--", color="0.4", lw=1.5, label="the curve: sin(2πx) + x / 2")
    results = []
    for smoothing, colour in ((0.0, "tab:red"), (chosen, "tab:blue")):
        fitted = np.asarray(smoothed(xs, ys, smoothing).predict(fine))
        rms = math.sqrt(float(np.mean((fitted - truth) ** 2)))
        results.append((smoothing, rms))
        ax.plot(fine, fitted, lw=1.8, color=colour, label=f"smoothing = {smoothing:.3g} (RMS error {rms:.3f})")
    ax.plot(xs, ys, "o", color="k", ms=4, zorder=3, label=f"{count} samples, noise σ = {NOISE}")
    ax.set_xlabel("x")
    ax.set_ylabel("y")
    ax.set_ylim(-1.8, 2.0)
    ax.set_title(f"{SMOOTHING_KERNEL}, epsilon = {SMOOTHING_EPSILON}, degree = {SMOOTHING_DEGREE}: "
                 f"smoothing chosen by {FOLDS}-fold cross-validation")
    ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=9)
    fig.savefig(path, metadata={"Software": None})
    plt.close(fig)
    return results


def franke_gradient(x, y, h=1e-6):
    """Central differences of the function itself: far more accurate than any interpolant's gradient."""
    return ((franke(x + h, y) - franke(x - h, y)) / (2 * h), (franke(x, y + h) - franke(x, y - h)) / (2 * h))


def draw_gradient(path, samples, arrows, grid, seed):
    points, values = scattered_samples(samples, seed)
    rbf = Rbf(points, values, "multiquadric", 0.1)
    axis = np.linspace(0.0, 1.0, grid)
    gx, gy = np.meshgrid(axis, axis)
    grid_points = np.column_stack([gx.ravel(), gy.ravel()])
    surface = np.asarray(rbf.predict(grid_points)).reshape(gx.shape)
    gradient = np.asarray(rbf.gradient(grid_points))
    exact = np.array([franke_gradient(x, y) for x, y in grid_points])
    error = np.linalg.norm(gradient - exact, axis=1).reshape(gx.shape)
    relative = float(np.sqrt(np.mean(error ** 2)) / np.sqrt(np.mean(np.sum(exact ** 2, axis=1))))

    arrow_axis = np.linspace(0.025, 0.975, arrows)
    ax_, ay_ = np.meshgrid(arrow_axis, arrow_axis)
    queries = np.column_stack([ax_.ravel(), ay_.ravel()])
    arrows_at = np.asarray(rbf.gradient(queries))

    fig, (left, right) = plt.subplots(1, 2, figsize=(12, 5.6), dpi=100, layout="constrained")
    left.contourf(gx, gy, surface, levels=25, cmap="viridis")
    left.quiver(queries[:, 0], queries[:, 1], arrows_at[:, 0], arrows_at[:, 1], color="w", scale=60, width=0.004)
    left.set_title(f"interpolant of {samples} samples, arrows: rbf.gradient")
    bands = right.pcolormesh(gx, gy, error, cmap="magma_r", shading="gouraud",
                             norm=colors.LogNorm(vmin=max(float(error.min()), 1e-6), vmax=float(error.max())))
    right.plot(np.asarray(points)[:, 0], np.asarray(points)[:, 1], ".", color="k", ms=1.5, alpha=0.4)
    right.set_title(f"|rbf.gradient - exact gradient|: RMS relative {relative:.1e}")
    fig.colorbar(bands, ax=right, label="error of the gradient", shrink=0.85)
    for ax in (left, right):
        ax.set_aspect("equal")
        ax.set_xlim(0.0, 1.0)
        ax.set_ylim(0.0, 1.0)
    fig.suptitle("Franke's function: the analytic gradient of its multiquadric interpolant (epsilon = 0.1)")
    fig.savefig(path, metadata={"Software": None})
    plt.close(fig)
    return relative


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--out", default="docs", help="directory for the PNG files (default: docs)")
    parser.add_argument("--noisy-samples", type=int, default=60, help="noisy samples of the curve")
    parser.add_argument("--samples", type=int, default=400, help="scattered samples of Franke's function")
    parser.add_argument("--arrows", type=int, default=20, help="gradient arrows per side")
    parser.add_argument("--grid", type=int, default=80, help="grid points per side for the error map")
    parser.add_argument("--seed", type=int, default=2026)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    smoothing_path = os.path.join(args.out, "smoothing_1d.png")
    for smoothing, rms in draw_smoothing(smoothing_path, args.noisy_samples, args.seed):
        print(f"smoothing {smoothing:<8.3g} RMS error against the curve {rms:.3e}")
    print(f"wrote {smoothing_path}")

    gradient_path = os.path.join(args.out, "franke_gradient.png")
    relative = draw_gradient(gradient_path, args.samples, args.arrows, args.grid, args.seed)
    print(f"gradient        RMS relative error against the exact gradient {relative:.3e}")
    print(f"wrote {gradient_path}")


if __name__ == "__main__":
    main()
