"""examples/dask_batch.py on a LocalCluster of two workers against
plotrun-scan -O on the same folder."""

import math
import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np

from support import SOURCE_DIR, run_scanner, write_bmp

SCRIPT = os.path.join(SOURCE_DIR, "examples", "dask_batch.py")


def small_chart(phase):
    """A 120 x 90 chart: a frame and one dark anti-aliased sine wave."""
    h, w = 90, 120
    pixels = np.full((h, w, 3), 255, np.uint8)
    pixels[[5, h - 6], 5:w - 5] = 0
    pixels[5:h - 5, [5, w - 6]] = 0
    x = np.arange(10, w - 10)
    y = 45 + 25 * np.sin(x / 12.0 + phase)
    for dy in range(-2, 3):
        rows = np.floor(y).astype(int) + dy
        shade = np.clip(np.abs(rows + 0.5 - y) * 100, 0, 255).astype(np.uint8)
        pixels[rows, x] = np.minimum(pixels[rows, x], shade[:, None])
    return pixels


class DaskBatch(unittest.TestCase):
    def test_two_hundred_pictures_give_the_scanners_files_and_a_broken_one_is_listed(self):
        with tempfile.TemporaryDirectory() as d:
            pictures = os.path.join(d, "pictures")
            os.mkdir(pictures)
            for i in range(200):
                write_bmp(os.path.join(pictures, "chart-%03d.bmp" % i), small_chart(i * math.pi / 50))
            with open(os.path.join(pictures, "chart-000.bmp"), "rb") as f:
                data = f.read()
            with open(os.path.join(pictures, "broken.bmp"), "wb") as f:
                f.write(data[:len(data) // 3])
            settings = os.path.join(d, "settings.json")
            code, _, err = run_scanner("--origin", "10,10", "--ref", "110,80", "--real-ref", "2,1",
                                       "--area", "10,10,110,80", "--scan-width", "3", "--fields", "real,sdev",
                                       "--header", "--column-names", "--decimal-separator", ".",
                                       "--save-settings", settings, os.path.join(pictures, "chart-001.bmp"))
            self.assertEqual(code, 0, err)

            names = sorted(os.listdir(pictures))
            code, _, scanner_err = run_scanner("--settings", settings, "-O", os.path.join(d, "scanner"),
                                               *[os.path.join(pictures, n) for n in names])
            self.assertNotEqual(code, 0)
            self.assertIn("broken.bmp", scanner_err)

            done = subprocess.run([sys.executable, SCRIPT, settings, pictures, os.path.join(d, "dask"),
                                   "--workers", "2"], capture_output=True, text=True, timeout=300)
            self.assertEqual(done.returncode, 1, done.stderr)
            listed = [line for line in done.stderr.splitlines() if "broken.bmp" in line]
            self.assertEqual(len(listed), 1, done.stderr)
            self.assertIn("200 of 201 pictures scanned", done.stderr)

            want = sorted(os.listdir(os.path.join(d, "scanner")))
            self.assertEqual(len(want), 200)
            self.assertEqual(sorted(os.listdir(os.path.join(d, "dask"))), want)
            for name in want:
                with open(os.path.join(d, "scanner", name), "rb") as a, open(os.path.join(d, "dask", name), "rb") as b:
                    self.assertEqual(b.read(), a.read(), name)


if __name__ == "__main__":
    unittest.main()
