#!/usr/bin/env python3
"""The Python module's speed against the scanner's, on this machine.

    PYTHONPATH=build/python python3 bench/python_bench.py [--pictures N] [--scanner build/cli/plotrun-scan]

1. plotrun.scan on N charts held as arrays in memory, against writing each
   to a PNG file and calling plotrun-scan on it (what a Python user had to do
   before the module): the figure is how many times faster the module is.
2. examples/dask_batch.py on a LocalCluster of two worker processes, against
   plotrun-scan -j 2, on the same N PNG files with the same settings: the
   figure is the Dask run's speed as a share of the scanner's. The cluster is
   started before the clock runs, as a cluster that is already there would
   be; its start is shown on its own.

Each figure is the best of a few rounds.
"""

import argparse
import logging
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

import numpy as np

import plotrun

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "examples"))
import dask_batch  # noqa: E402


def chart(width, height, seed):
    """White paper, a frame, a light grid and three dark curves, shaded at their edges."""
    rng = np.random.default_rng(seed)
    pixels = np.full((height, width, 3), 255, np.uint8)
    pixels[::height // 10, :] = 215
    pixels[:, ::width // 10] = 215
    pixels[[20, height - 21], 20:width - 20] = 0
    pixels[20:height - 20, [20, width - 21]] = 0
    x = np.arange(30, width - 30)
    for k in range(3):
        y = height / 2 + height / 4 * np.sin(x / (40.0 + 20 * k) + rng.uniform(0, 6)) * (0.5 + 0.2 * k)
        for dy in range(-2, 3):
            rows = np.clip(np.floor(y).astype(int) + dy, 0, height - 1)
            shade = np.clip(np.abs(rows + 0.5 - y) * 110, 0, 255).astype(np.uint8)
            pixels[rows, x] = np.minimum(pixels[rows, x], shade[:, None])
    return pixels


def png_bytes(pixels):
    """An 8-bit RGB PNG file of the pixels."""
    height, width, _ = pixels.shape
    rows = np.zeros((height, width * 3 + 1), np.uint8)  # filter byte 0 on each row
    rows[:, 1:] = pixels.reshape(height, width * 3)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows.tobytes(), 6))
            + chunk(b"IEND", b""))


def best_of(rounds, run):
    times = []
    for _ in range(rounds):
        os.sync()  # no other run's writes left for this one's to wait on
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pictures", type=int, default=400)
    parser.add_argument("--width", type=int, default=900)
    parser.add_argument("--height", type=int, default=600)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--scanner", default=shutil.which("plotrun-scan") or "build/cli/plotrun-scan")
    args = parser.parse_args()
    n, w, h = args.pictures, args.width, args.height

    work = tempfile.mkdtemp(prefix="plotrun-bench-")
    try:
        arrays = [chart(w, h, i) for i in range(n)]
        pictures = os.path.join(work, "pictures")
        os.mkdir(pictures)
        for i, a in enumerate(arrays):
            with open(os.path.join(pictures, "chart-%04d.png" % i), "wb") as f:
                f.write(png_bytes(a))
        settings = os.path.join(work, "settings.json")
        subprocess.run([args.scanner, "--origin", "20,20", "--ref", "%d,%d" % (w - 21, h - 21), "--real-ref", "10,1",
                        "--area", "21,21,%d,%d" % (w - 22, h - 22), "--fields", "real,sdev", "--column-names",
                        "--decimal-separator", ".", "--save-settings", settings,
                        os.path.join(pictures, "chart-0000.png")], check=True, capture_output=True)
        s = plotrun.Settings(settings)
        print("%d charts of %d x %d pixels, three curves each, SDEV on" % (n, w, h))

        # 1. Arrays in memory.
        module = best_of(args.rounds, lambda: [plotrun.scan(a, s) for a in arrays])
        one = os.path.join(work, "one.png")

        def through_files():
            for a in arrays:
                with open(one, "wb") as f:
                    f.write(png_bytes(a))
                subprocess.run([args.scanner, "--settings", settings, "-o", os.path.join(work, "one.txt"), one],
                               check=True)

        files = best_of(max(1, args.rounds - 1), through_files)
        encoding = best_of(1, lambda: [png_bytes(a) for a in arrays])
        print("plotrun.scan on the arrays:          %7.3f s  (%6.1f pictures/s)" % (module, n / module))
        print("each to PNG, then plotrun-scan:      %7.3f s  (%6.1f pictures/s)" % (files, n / files))
        print("  of which encoding the PNGs:        %7.3f s" % encoding)
        print("  the module is %.1f x faster (%.1f x against the scanner's calls alone)"
              % (files / module, (files - encoding) / module))

        # 2. A folder of files: Dask against the scanner's own batch.
        from dask.distributed import LocalCluster
        # A worker's heartbeat that meets the cluster's close is no finding.
        logging.getLogger("distributed").setLevel(logging.CRITICAL)
        start = time.perf_counter()
        cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)
        started = time.perf_counter() - start
        names = [os.path.join(pictures, p) for p in sorted(os.listdir(pictures))]
        # The two in turn, round by round, so that both meet the machine's
        # other load alike.
        scanner = dask = float("inf")
        try:
            for _ in range(args.rounds):
                scanner = min(scanner, best_of(1, lambda: subprocess.run(
                    [args.scanner, "--settings", settings, "-O", os.path.join(work, "scanner"), "-j", "2"] + names,
                    check=True, capture_output=True)))
                dask = min(dask, best_of(1, lambda: dask_batch.main(
                    [settings, pictures, os.path.join(work, "dask"), "--scheduler", cluster.scheduler_address])))
        finally:
            cluster.close()
        print("plotrun-scan -O -j 2:                %7.3f s  (%6.1f pictures/s)" % (scanner, n / scanner))
        print("dask_batch.py, 2 workers:            %7.3f s  (%6.1f pictures/s); the cluster's start %.2f s more"
              % (dask, n / dask, started))
        print("  Dask reaches %.0f %% of plotrun-scan -j 2 (%.0f %% with the cluster's start)"
              % (100 * scanner / dask, 100 * scanner / (dask + started)))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
