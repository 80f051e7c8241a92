"""Shared fixtures: the built orv-cli, the default profile, frames written as BMP files."""

import os
import struct
import subprocess

import numpy as np
import pytest

import orv

SOURCE_DIR = os.environ.get("ORV_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
PROFILE_DIR = os.path.join(SOURCE_DIR, "profiles", "default")


def write_bmp(path, rgb):
    """A 24-bit BMP of a uint8 (H, W, 3) RGB array, row 0 the top."""
    height, width, _ = rgb.shape
    stride = (width * 3 + 3) // 4 * 4
    rows = bytearray()
    for row in rgb[::-1]:
        line = row[:, ::-1].tobytes()
        rows += line + bytes(stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(rows), 0, 0, 54)
    with open(path, "wb") as handle:
        handle.write(header + info + rows)


def write_y4m(path, frames):
    """A 4:4:4 8-bit Y4M video of uint8 (n, H, W, 3) Y'CbCr frames, full range."""
    _, height, width, _ = frames.shape
    with open(path, "wb") as handle:
        handle.write(b"YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C444 XCOLORRANGE=FULL\n" % (width, height))
        for frame in frames:
            handle.write(b"FRAME\n" + np.moveaxis(frame, -1, 0).tobytes())


def smooth_frame(rng, height, width):
    """A frame with structure at several scales: colour gradients plus noise."""
    y, x = np.mgrid[0:height, 0:width]
    base = np.stack([x * 255 / max(width - 1, 1), y * 255 / max(height - 1, 1),
                     (x + y) * 127 / max(width + height - 2, 1)], axis=-1)
    return np.clip(base + rng.normal(0, 20, base.shape), 0, 255).astype(np.uint8)


def noisy(rng, frame, sigma):
    return np.clip(frame + rng.normal(0, sigma, frame.shape).round(), 0, 255).astype(np.uint8)


def run_cli(*args):
    """Runs orv-cli; returns (status, stdout, stderr)."""
    done = subprocess.run([os.environ["ORV_CLI"], *args], capture_output=True, text=True)
    return done.returncode, done.stdout, done.stderr


@pytest.fixture(scope="session")
def profile():
    return orv.Profile(PROFILE_DIR)


@pytest.fixture(scope="session")
def pair_files(tmp_path_factory):
    """Function making n reference/degraded BMP pairs of one size; returns two path lists."""
    folder = tmp_path_factory.mktemp("pairs")
    rng = np.random.default_rng(7)
    made = {"count": 0}

    def make(height, width, n=2, sigma=6.0):
        made["count"] += 1
        references, degradeds = [], []
        for i in range(n):
            frame = smooth_frame(rng, height, width)
            for name, data, paths in (("r", frame, references), ("d", noisy(rng, frame, sigma), degradeds)):
                path = str(folder / ("%s%d_%d.bmp" % (name, made["count"], i)))
                write_bmp(path, data)
                paths.append(path)
        return references, degradeds

    return make
