"""Fits 10^7 scattered samples in patches, tile by tile on a Dask cluster, evaluates a 10^4 x 10^4 grid with map_blocks, checks a sample of it against a model fitted here and draws it."""
import argparse
import math
import os
import resource
import time

import dask
import matplotlib

matplotlib.use("Agg")  # files only: no display is needed, nor wanted on a build machine
import dask.array as da
import matplotlib.pyplot as plt
import numpy as np
from dask.distributed import Client, LocalCluster

from pymorvel import Rbf


def field(p):
    """The function sampled: smooth, with a ridge along the anti-diagonal."""
    return np.sin(5.0 * p[:, 0]) * np.cos(4.0 * p[:, 1]) + 0.5 * np.tanh(4.0 * (p[:, 0] + p[:, 1] - 1.0))


def fit_tile(x, y, kernel, epsilon, patch_size, domain, region):
    """A tile's model: the patches that reach into its region, fitted from its
    samples and those within the halo around it. It is the whole data set's
    model restricted to the region, to the bit."""
    return Rbf(x, y, kernel, epsilon, degree=1, patch_size=patch_size, domain=domain, region=region)


def as_block(model):
    """A model as a 1 x 1 block of an object array, for map_blocks."""
    block = np.empty((1, 1), dtype=object)
    block[0, 0] = model
    return block


def evaluate_block(models, axes, per_tile, block_info=None):
    """One tile's block of the grid, on the worker that holds the tile's model."""
    row, column = block_info[0]["chunk-location"]
    ys = axes[1][row * per_tile:(row + 1) * per_tile]
    xs = axes[0][column * per_tile:(column + 1) * per_tile]
    gx, gy = np.meshgrid(xs, ys)
    values = models[0, 0].predict(np.column_stack([gx.ravel(), gy.ravel()]))
    return np.asarray(values, dtype=float).reshape(len(ys), len(xs))


def truth_block(block, axes, per_tile, block_info=None):
    row, column = block_info[0]["chunk-location"]
    gx, gy = np.meshgrid(axes[0][column * per_tile:(column + 1) * per_tile], axes[1][row * per_tile:(row + 1) * per_tile])
    return field(np.column_stack([gx.ravel(), gy.ravel()])).reshape(block.shape)


def single_process(x, y, epsilon, args, axes):
    """The seconds one process takes for the same fit and grid, row block by row block."""
    start = time.perf_counter()
    model = Rbf(x, y, "multiquadric", epsilon, degree=1, patch_size=args.patch_size)
    rows = max(args.grid // 100, 1)
    for first in range(0, args.grid, rows):
        gx, gy = np.meshgrid(axes[0], axes[1][first:first + rows])
        model.predict(np.column_stack([gx.ravel(), gy.ravel()]))
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--samples", type=int, default=10 ** 7)
    parser.add_argument("--grid", type=int, default=10 ** 4, help="grid points per side")
    parser.add_argument("--tiles", type=int, default=4, help="tiles per side (the grid must split evenly)")
    parser.add_argument("--patch-size", type=int, default=64)
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the local cluster")
    parser.add_argument("--checks", type=int, default=2000, help="grid points checked against a model fitted here")
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--out", default="docs", help="directory for dask_large.png (default: docs)")
    parser.add_argument("--single", action="store_true",
                        help="also fit and evaluate the whole grid in this process, for the time against Dask's")
    args = parser.parse_args()
    if args.grid % args.tiles:
        parser.error("--grid must be a multiple of --tiles")
    os.makedirs(args.out, exist_ok=True)
    n, per_tile = args.samples, args.grid // args.tiles
    epsilon = 4.0 / math.sqrt(n)  # about four sample spacings

    with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True, dashboard_address=None,
                      memory_limit="4GiB") as cluster, Client(cluster) as client:
        # The samples live on the workers, made there chunk by chunk.
        chunk = max(n // (4 * args.workers), 1)
        x = da.random.default_rng(args.seed).random((n, 2), chunks=(chunk, 2)).persist()
        y = x.map_blocks(field, drop_axis=1, dtype=float).persist()
        # The lattice comes from the whole data set's bounding box and count.
        lower, upper = (np.asarray(v) for v in dask.compute(x.min(axis=0), x.max(axis=0)))
        domain = (lower, upper, n)
        halo = Rbf.tile_halo(lower, upper, n, args.patch_size)
        # Grid lines over the box; tile (i, j) owns a block of per_tile x per_tile of them.
        axes = [np.linspace(lower[k], upper[k], args.grid) for k in range(2)]

        start = time.perf_counter()
        rows = []
        for i in range(args.tiles):
            row = []
            for j in range(args.tiles):
                region = ([axes[0][j * per_tile], axes[1][i * per_tile]],
                          [axes[0][(j + 1) * per_tile - 1], axes[1][(i + 1) * per_tile - 1]])
                near = da.all((x >= np.subtract(region[0], halo)) & (x <= np.add(region[1], halo)), axis=1)
                # Selected in the data set's order, as the tile fit needs.
                model = dask.delayed(fit_tile)(x[near], y[near], "multiquadric", epsilon, args.patch_size,
                                               domain, region)
                row.append(da.from_delayed(dask.delayed(as_block)(model), shape=(1, 1), dtype=object))
            rows.append(row)
        models = da.block(rows)
        surface = models.map_blocks(evaluate_block, axes, per_tile, dtype=float,
                                    chunks=((per_tile,) * args.tiles, (per_tile,) * args.tiles))
        error = surface - surface.map_blocks(truth_block, axes, per_tile, dtype=float)
        rng = np.random.default_rng(args.seed + 1)
        # The checked points lie in one small box, which a model fitted here covers.
        box = (rng.integers(0, args.grid - 64, 2), 64)
        picked = (box[0][1] + rng.integers(0, box[1], args.checks), box[0][0] + rng.integers(0, box[1], args.checks))
        step = max(args.grid // 1000, 1)
        rms, largest, thumbnail, checked = dask.compute(da.sqrt(da.mean(error ** 2)), da.max(da.abs(error)),
                                                        surface[::step, ::step], surface.vindex[picked])
        dask_seconds = time.perf_counter() - start

        # A model fitted here, for the small box only: the samples near it, the
        # same domain; its predictions are the grid's to the bit.
        region = ([axes[0][box[0][0]], axes[1][box[0][1]]], [axes[0][box[0][0] + 63], axes[1][box[0][1] + 63]])
        near = da.all((x >= np.subtract(region[0], halo)) & (x <= np.add(region[1], halo)), axis=1)
        xs, ys = dask.compute(x[near], y[near])
        local = fit_tile(xs, ys, "multiquadric", epsilon, args.patch_size, domain, region)
        queries = np.column_stack([axes[0][picked[1]], axes[1][picked[0]]])
        identical = np.asarray(local.predict(queries)).tobytes() == np.asarray(checked).tobytes()
        x_all, y_all = dask.compute(x, y) if args.single else (None, None)
        # Each worker's peak resident memory so far, in bytes (Linux reports KiB).
        worker_peak = max(client.run(lambda: resource.getrusage(resource.RUSAGE_SELF).ru_maxrss).values()) * 1024

    path = os.path.join(args.out, "dask_large.png")
    fig, ax = plt.subplots(figsize=(7, 6), dpi=100, layout="constrained")
    shown = ax.imshow(thumbnail, origin="lower", extent=(lower[0], upper[0], lower[1], upper[1]), cmap="viridis")
    fig.colorbar(shown, ax=ax, label="value")
    drawn = f" (one point in {step} per side drawn)" if step > 1 else ""
    ax.set_title(f"{n:.0e} samples, patches of {args.patch_size}\n{args.grid} x {args.grid} grid by "
                 f"{args.workers} Dask workers{drawn}", fontsize=10)
    fig.savefig(path, metadata={"Software": None})
    plt.close(fig)

    print(f"samples          {n} in {args.tiles} x {args.tiles} tiles with a halo of {halo:.4g}")
    print(f"grid             {args.grid} x {args.grid} = {args.grid ** 2} points, {args.tiles ** 2} blocks")
    print(f"Dask fit + grid  {dask_seconds:.1f} s on {args.workers} worker processes, "
          f"each at most {worker_peak / 2 ** 30:.2f} GiB resident")
    print(f"same bits as a model fitted here at {args.checks} grid points: {'yes' if identical else 'NO'}")
    if args.single:
        print(f"one process      {single_process(x_all, y_all, epsilon, args, axes):.1f} s")
    print(f"RMS error        {float(rms):.3e}")
    print(f"max error        {float(largest):.3e}")
    print(f"wrote {path}")
    return 0 if identical else 1


if __name__ == "__main__":
    raise SystemExit(main())
