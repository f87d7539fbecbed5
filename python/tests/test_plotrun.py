"""plotrun.scan and plotrun.Settings against plotrun-scan on the same
pictures and settings."""

import json
import os
import subprocess
import tempfile
import threading
import time
import unittest

import numpy as np

import plotrun
from support import SAMPLE_CHART, read_bmp, run_scanner, save_sample_settings, scanner_rows, write_bmp


def same_as_scanner(test, got, text):
    """Every value of `got` reads as the scanner wrote it (15 significant digits)."""
    want = scanner_rows(text)
    test.assertEqual(len(got), len(want))
    test.assertGreater(len(want), 10)
    for i, (record, line) in enumerate(zip(got, want)):
        test.assertEqual(len(record), len(line))
        for v, w in zip(record, line):
            if w is None:  # an absent SDEV/Y
                test.assertTrue(np.isnan(v), "row %d" % i)
            else:
                test.assertEqual(float("%.15g" % v), w, "row %d" % i)


class ScanLikeTheScanner(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.settings = os.path.join(cls.dir.name, "sample.json")
        save_sample_settings(cls.settings)
        code, cls.text, err = run_scanner("--settings", cls.settings, SAMPLE_CHART)
        assert code == 0, err

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def test_a_file_gives_the_scanners_values_under_the_fields_names(self):
        rows = plotrun.scan(SAMPLE_CHART, self.settings)
        self.assertEqual(rows.dtype.names, ("x", "y", "sdev", "sdevY", "bitmapX", "bitmapY"))
        same_as_scanner(self, rows, self.text)

    def test_arrays_of_three_and_four_bytes_give_the_files_values(self):
        want = plotrun.scan(SAMPLE_CHART, self.settings)
        rgb = read_bmp(SAMPLE_CHART)
        h, w, _ = rgb.shape
        rgba = np.dstack([rgb, np.full((h, w), 255, np.uint8)])
        padded = np.zeros((h, w + 5, 3), np.uint8)  # rows that lie apart
        padded[:, :w] = rgb
        flipped = np.ascontiguousarray(rgb[::-1])[::-1]  # rows bottom up in memory
        for name, pixels in [("rgb", rgb), ("rgba", rgba), ("padded", padded[:, :w]), ("bottom up", flipped),
                             ("strided channels", rgb[:, :, ::-1][:, :, ::-1])]:
            with self.subTest(name):
                got = plotrun.scan(pixels, self.settings)
                np.testing.assert_array_equal(got, want)
        # The views are read where they lie; only the reversed channels are copied.
        readable = plotrun._plotrun.readable_in_place
        self.assertTrue(readable(rgb) and readable(rgba) and readable(padded[:, :w]) and readable(flipped))
        self.assertFalse(readable(rgb[:, :, ::-1]) or readable(rgb.astype(np.uint16)))

    def test_a_dict_and_a_settings_scan_as_their_file(self):
        want = plotrun.scan(SAMPLE_CHART, self.settings)
        s = plotrun.Settings(self.settings)
        np.testing.assert_array_equal(plotrun.scan(SAMPLE_CHART, s.to_dict()), want)
        np.testing.assert_array_equal(plotrun.scan(SAMPLE_CHART, s), want)

    def test_fields_follow_the_settings(self):
        s = plotrun.Settings(self.settings)
        s.update({"output.fields.sdev": False, "output.fields.sdevY": False, "output.fields.real": False})
        rows = plotrun.scan(SAMPLE_CHART, s)
        self.assertEqual(rows.dtype.names, ("bitmapX", "bitmapY"))

    def test_two_threads_scanning_at_once_get_their_own_results(self):
        rgb = read_bmp(SAMPLE_CHART)
        shifted = np.full_like(rgb, 255)
        shifted[:-40] = rgb[40:]  # the curve 40 rows higher
        pictures = [rgb, shifted] * 3
        want = [plotrun.scan(p, self.settings) for p in pictures]
        self.assertFalse(np.array_equal(want[0], want[1]))
        got = [None] * len(pictures)
        start = threading.Barrier(2)

        def work(first):
            start.wait()
            for i in range(first, len(pictures), 2):
                for _ in range(20):
                    got[i] = plotrun.scan(pictures[i], self.settings)

        threads = [threading.Thread(target=work, args=(k,)) for k in (0, 1)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for g, w in zip(got, want):
            np.testing.assert_array_equal(g, w)


    def test_other_threads_run_while_a_scan_waits_for_its_picture(self):
        # The picture comes through a pipe that another process fills a
        # second later; had the scan kept the GIL, no other thread could run
        # meanwhile.
        fifo = os.path.join(self.dir.name, "pipe.bmp")
        os.mkfifo(fifo)
        writer = subprocess.Popen(["sh", "-c", 'sleep 1; cat "$0" > "$1"', SAMPLE_CHART, fifo])
        got = []
        scanning = threading.Thread(target=lambda: got.append(plotrun.scan(fifo, self.settings)))
        scanning.start()
        ticks = 0
        while scanning.is_alive():
            ticks += 1
            time.sleep(0.01)
        writer.wait()
        self.assertGreater(ticks, 30)
        np.testing.assert_array_equal(got[0], plotrun.scan(SAMPLE_CHART, self.settings))


class Refusals(unittest.TestCase):
    """Refused settings and damaged pictures raise ScanError with the scanner's
    message and exit code."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.settings = os.path.join(cls.dir.name, "sample.json")
        save_sample_settings(cls.settings)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def scanner_error(self, picture, settings):
        code, _, err = run_scanner("--settings", settings, picture)
        return code, err

    def test_a_refused_setting(self):
        data = plotrun.Settings(self.settings).to_dict()
        data["scan"]["width"] = 0
        bad = os.path.join(self.dir.name, "bad.json")
        with open(bad, "w") as f:
            json.dump(data, f)
        code, err = self.scanner_error(SAMPLE_CHART, bad)
        self.assertEqual(code, 2)
        for settings in (bad, data):
            with self.subTest(type(settings).__name__), self.assertRaises(plotrun.ScanError) as raised:
                plotrun.scan(SAMPLE_CHART, settings)
            self.assertEqual(raised.exception.exit_code, 2)
            self.assertIn('"scan.width"', raised.exception.message)
        self.assertIn(raised.exception.message.split(": ", 1)[1], err)

    def test_a_picture_of_another_size(self):
        small = read_bmp(SAMPLE_CHART)[:400, :600]
        with self.assertRaises(plotrun.ScanError) as raised:
            plotrun.scan(small, self.settings)
        self.assertEqual(raised.exception.exit_code, 2)
        self.assertIn("600 x 400 pixels", raised.exception.message)
        self.assertIn("--scale-with-picture", raised.exception.message)
        path = os.path.join(self.dir.name, "small.bmp")
        write_bmp(path, small)
        code, text, err = run_scanner("--settings", self.settings, "--scale-with-picture", path)
        self.assertEqual(code, 0, err)
        same_as_scanner(self, plotrun.scan(small, self.settings, scale_with_picture=True), text)

    def test_a_damaged_picture(self):
        damaged = os.path.join(self.dir.name, "damaged.bmp")
        with open(SAMPLE_CHART, "rb") as f:
            data = f.read()
        with open(damaged, "wb") as f:
            f.write(data[:len(data) // 2])
        code, err = self.scanner_error(damaged, self.settings)
        self.assertEqual(code, 1)
        with self.assertRaises(plotrun.ScanError) as raised:
            plotrun.scan(damaged, self.settings)
        self.assertEqual(raised.exception.exit_code, 1)
        self.assertIn("damaged.bmp", raised.exception.message)
        self.assertEqual("plotrun-scan: " + raised.exception.message + "\n", err)

    def test_what_is_no_picture(self):
        with self.assertRaises(plotrun.ScanError) as raised:
            plotrun.scan(np.zeros((1, 5, 3), np.uint8), self.settings)
        self.assertEqual((raised.exception.exit_code, raised.exception.message),
                         (1, "The size of the bitmap must be at least 2x2"))
        with self.assertRaises(TypeError):
            plotrun.scan(np.zeros((480, 640), np.uint8), self.settings)
        with self.assertRaises(TypeError):
            plotrun.scan(np.zeros((480, 640, 3), np.float32), self.settings)


class SettingsFromPython(unittest.TestCase):
    def test_read_change_and_write_with_the_checks_of_ok(self):
        with tempfile.TemporaryDirectory() as d:
            first = os.path.join(d, "first.json")
            save_sample_settings(first)
            s = plotrun.Settings.read(first)
            self.assertEqual(s["scan.width"], 13)
            self.assertIn("area.startX", s.keys())
            # A refused change leaves the settings as they were.
            with self.assertRaises(plotrun.ScanError) as raised:
                s["area.endX"] = 700
            self.assertEqual(raised.exception.exit_code, 2)
            self.assertIn('"area.endX"', raised.exception.message)
            self.assertEqual(s["area.endX"], 580)
            with self.assertRaises(plotrun.ScanError):
                s["scan.colour"] = 1  # no such key
            # Changes judged together, written, and read by the scanner as its
            # own flags would give them.
            s.update({"scan.width": 26, "area.startX": 100})
            second = os.path.join(d, "second.json")
            s.write(second)
            self.assertEqual(plotrun.Settings(second), s)
            save_sample_settings(os.path.join(d, "flags.json"), "--scan-width", "26", "--area", "100,61,580,419")
            self.assertEqual(plotrun.Settings(os.path.join(d, "flags.json")), s)
            code, text, err = run_scanner("--settings", second, SAMPLE_CHART)
            self.assertEqual(code, 0, err)
            same_as_scanner(self, plotrun.scan(SAMPLE_CHART, s), text)
            with self.assertRaises(OSError):
                s.write(os.path.join(d, "no folder", "third.json"))

    def test_version(self):
        self.assertRegex(plotrun.__version__, r"^\d+\.\d+")


if __name__ == "__main__":
    unittest.main()
