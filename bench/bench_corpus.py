"""Throughput of the corpus runner: the same corpus on local clusters of 1 and 2 workers (and
in-process, without Dask). Run by hand, never by the tests:

    PYTHONPATH=build/release/python python3 bench/bench_corpus.py [--pairs 12] [--frames 4]
        [--size 640x480] [--workers 0,1,2]

Prints, per run, the frames measured per second after the cluster has started and the
cluster's start-up time. The corpus (BMP frames with Gaussian noise) is made in a temporary
folder and removed afterwards.
"""

import argparse
import os
import shutil
import struct
import sys
import tempfile
import time

import numpy as np

import orv.corpus

PROFILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "profiles", "default")


def write_bmp(path, rgb):
    height, width, _ = rgb.shape
    stride = (width * 3 + 3) // 4 * 4
    rows = b"".join(row[:, ::-1].tobytes().ljust(stride, b"\0") for row in rgb[::-1])
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    with open(path, "wb") as handle:
        handle.write(struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54) + info + rows)


def make_corpus(folder, pairs, frames, width, height):
    rng = np.random.default_rng(1)
    lines = ["reference,degraded,label"]
    for pair in range(pairs):
        for side in ("r", "d"):
            os.mkdir(os.path.join(folder, "%s%d" % (side, pair)))
        for i in range(frames):
            y, x = np.mgrid[0:height, 0:width]
            frame = np.stack([x * 255 // width, y * 255 // height, (x + y) % 256], axis=-1)
            frame = np.clip(frame + rng.normal(0, 10, frame.shape), 0, 255).astype(np.uint8)
            degraded = np.clip(frame + rng.normal(0, 3, frame.shape), 0, 255).astype(np.uint8)
            write_bmp(os.path.join(folder, "r%d" % pair, "f_%04d.bmp" % i), frame)
            write_bmp(os.path.join(folder, "d%d" % pair, "f_%04d.bmp" % i), degraded)
        lines.append("r%d,d%d,pair %d" % (pair, pair, pair))
    manifest = os.path.join(folder, "manifest.csv")
    with open(manifest, "w") as handle:
        handle.write("\n".join(lines) + "\n")
    return manifest


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pairs", type=int, default=12)
    parser.add_argument("--frames", type=int, default=4)
    parser.add_argument("--size", default="640x480")
    parser.add_argument("--workers", default="0,1,2")
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))
    folder = tempfile.mkdtemp(prefix="orv-corpus-bench-")
    try:
        manifest = make_corpus(folder, args.pairs, args.frames, width, height)
        print("%d pairs of %d frames, %dx%d; load average %s"
              % (args.pairs, args.frames, width, height, os.getloadavg()[0]))
        for workers in (int(w) for w in args.workers.split(",")):
            out = os.path.join(folder, "results-%d-%d.csv" % (workers, time.monotonic_ns()))
            summary = orv.corpus.run(manifest, out, workers=workers, profile=PROFILE, quiet=True)
            measuring = summary["seconds"] - summary["startup"]
            print("workers %d: %.2f frames/s (%d frames in %.2f s after %.2f s of start-up)"
                  % (workers, summary["frames"] / measuring, summary["frames"], measuring,
                     summary["startup"]))
    finally:
        shutil.rmtree(folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
