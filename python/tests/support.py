"""What the module's tests share: the scanner, the sample chart, and
24-bit BMP files written from arrays."""

import os
import struct
import subprocess

import numpy as np

SCANNER = os.environ.get("PLOTRUN_SCAN", "plotrun-scan")
SOURCE_DIR = os.environ.get("PLOTRUN_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
SAMPLE_CHART = os.path.join(SOURCE_DIR, "resources", "samples", "sample-chart.bmp")
# The sample chart's calibration and area, with every field in the output.
SAMPLE_FLAGS = ["--origin", "60,60", "--ref", "580,420", "--real-ref", "10,100", "--area", "61,61,580,419",
                "--scan-width", "13", "--fields", "real,sdev,sdevy,bitmap", "--decimal-separator", "."]


def run_scanner(*args):
    """plotrun-scan's exit code, standard output and standard error."""
    done = subprocess.run([SCANNER, *args], capture_output=True, text=True)
    return done.returncode, done.stdout, done.stderr


def save_sample_settings(path, *flags):
    code, _, err = run_scanner(*SAMPLE_FLAGS, *flags, "--save-settings", path, SAMPLE_CHART)
    assert code == 0, err


def read_bmp(path):
    """The pixels of an uncompressed 24-bit BMP file as H x W x 3 bytes, red first."""
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    row_bytes = (width * 3 + 3) // 4 * 4
    rows = np.frombuffer(data, np.uint8, row_bytes * abs(height), offset).reshape(abs(height), row_bytes)
    pixels = rows[:, :width * 3].reshape(abs(height), width, 3)
    if height > 0:  # bottom up
        pixels = pixels[::-1]
    return np.ascontiguousarray(pixels[:, :, ::-1])


def write_bmp(path, pixels):
    """Writes H x W x 3 bytes, red first, as an uncompressed 24-bit BMP file."""
    height, width, _ = pixels.shape
    row_bytes = (width * 3 + 3) // 4 * 4
    rows = np.zeros((height, row_bytes), np.uint8)
    rows[:, :width * 3] = pixels[::-1, :, ::-1].reshape(height, width * 3)
    header = struct.pack("<2sIHHI", b"BM", 54 + rows.size, 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, rows.size, 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + rows.tobytes())


def scanner_rows(text, delimiter=","):
    """The rows of plotrun-scan's output text without column names, as floats; an empty cell is None."""
    return [[float(c) if c else None for c in line.split(delimiter)] for line in text.splitlines() if line]
