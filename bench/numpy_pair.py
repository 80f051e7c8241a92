"""Speed of orv-cli diff against a straightforward numpy version of the same per-pair work.

The numpy version does what a pair costs, in the same steps: display bytes to light through a
table per channel, a 3 x 3 matrix to three opponent planes, each plane filtered through a
complex two-dimensional transform (numpy.fft, one thread) weighted by a radial response, back
through a matrix to XYZ, CIELAB (cube root with its straight line) and CIE94 per pixel. Its
tables, matrices and responses are stand-ins of the right shapes (the speed does not depend on
their values), and its frequency-bin map is made once, outside the timing. orv-cli is timed as
a whole process (start-up, profile loading and file reading included) on the same four pairs,
one thread, in turns with the numpy version.

    python3 bench/numpy_pair.py [ROUNDS]   (needs build/release/cli/orv-cli and ffmpeg)
"""

import os

os.environ.setdefault("OMP_NUM_THREADS", "1")
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import pathlib  # noqa: E402
import statistics  # noqa: E402
import subprocess  # noqa: E402
import sys  # noqa: E402
import tempfile  # noqa: E402
import time  # noqa: E402

import numpy as np  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parent.parent
CLI = ROOT / "build" / "release" / "cli" / "orv-cli"
PROFILE = ROOT / "profiles" / "default"
WIDTH, HEIGHT, PAIRS = 1920, 1080, 4


def read_bmp(path):
    data = np.fromfile(path, dtype=np.uint8)
    offset = int.from_bytes(data[10:14].tobytes(), "little")
    stride = (WIDTH * 3 + 3) // 4 * 4
    rows = data[offset : offset + stride * HEIGHT].reshape(HEIGHT, stride)[::-1, : WIDTH * 3]
    return np.ascontiguousarray(rows.reshape(HEIGHT, WIDTH, 3))  # blue, green, red


class Stand:
    """Tables, matrices and responses of the right shapes."""

    def __init__(self):
        levels = np.arange(256) / 255.0
        self.tables = [levels**g for g in (2.2, 2.3, 2.1)]
        self.rgb_to_atd = np.array([[0.3, 0.6, 0.1], [0.5, -0.4, -0.1], [0.1, 0.2, -0.3]])
        self.atd_to_xyz = np.linalg.inv(self.rgb_to_atd) * 0.9
        length = 2331
        self.responses = [np.exp(-np.arange(length) / s) for s in (200.0, 80.0, 60.0)]
        fy = np.fft.fftfreq(HEIGHT)[:, None]
        fx = np.fft.fftfreq(WIDTH)[None, :]
        radius = np.sqrt(fx * fx + fy * fy)
        self.bins = np.minimum((radius * 1400).astype(np.int64), length - 1)


def lab(xyz):
    t = xyz / np.array([0.95, 1.0, 1.09])
    f = np.where(t > 0.008856, np.cbrt(t), 7.787 * t + 16.0 / 116.0)
    return np.stack(
        [116.0 * f[..., 1] - 16.0, 500.0 * (f[..., 0] - f[..., 1]), 200.0 * (f[..., 1] - f[..., 2])],
        axis=-1,
    )


def filtered_lab(frame, s):
    rgb = np.stack([s.tables[0][frame[..., 2]], s.tables[1][frame[..., 1]], s.tables[2][frame[..., 0]]], -1)
    atd = rgb @ s.rgb_to_atd.T
    planes = []
    for k in range(3):
        spectrum = np.fft.fft2(atd[..., k])
        spectrum *= s.responses[k][s.bins]
        planes.append(np.fft.ifft2(spectrum).real)
    return lab(np.stack(planes, -1) @ s.atd_to_xyz.T)


def delta_e94(a, b):
    dl = a[..., 0] - b[..., 0]
    c1 = np.hypot(a[..., 1], a[..., 2])
    c2 = np.hypot(b[..., 1], b[..., 2])
    dc = c1 - c2
    dh2 = np.maximum((a[..., 1] - b[..., 1]) ** 2 + (a[..., 2] - b[..., 2]) ** 2 - dc * dc, 0.0)
    return np.sqrt(dl * dl + (dc / (1 + 0.045 * c1)) ** 2 + dh2 / (1 + 0.015 * c1) ** 2)


def numpy_pairs(pairs, s):
    start = time.perf_counter()
    for reference, degraded in pairs:
        m = delta_e94(filtered_lab(reference, s), filtered_lab(degraded, s))
        m.mean(), m.max(), np.percentile(m, [50, 95, 99])
    return (time.perf_counter() - start) / len(pairs)


def cli_pairs(refs, degs):
    start = time.perf_counter()
    subprocess.run(
        [str(CLI), "diff", "--quiet", "--threads", "1", "--profile", str(PROFILE), "--reference", *refs,
         "--degraded", *degs],
        check=True, stdout=subprocess.DEVNULL)
    return (time.perf_counter() - start) / len(refs)


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    with tempfile.TemporaryDirectory(dir="/var/tmp") as work:
        src = "testsrc2=size=%dx%d:rate=25" % (WIDTH, HEIGHT)
        ref = os.path.join(work, "r_%d.bmp")
        deg = os.path.join(work, "d_%d.bmp")
        for out, extra in ((ref, []), (deg, ["-vf", "noise=alls=12:allf=t"])):
            subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", src, "-frames:v",
                            str(PAIRS), *extra, "-pix_fmt", "bgr24", out], check=True)
        refs = [ref % (i + 1) for i in range(PAIRS)]
        degs = [deg % (i + 1) for i in range(PAIRS)]
        pairs = [(read_bmp(r), read_bmp(d)) for r, d in zip(refs, degs)]
        s = Stand()
        numpy_pairs(pairs[:1], s)  # warm-up
        ratios = []
        for i in range(rounds):
            orv = cli_pairs(refs, degs)
            ref_time = numpy_pairs(pairs, s)
            ratios.append(ref_time / orv)
            print("round %d: orv-cli %.0f ms a pair (whole process), numpy %.0f ms a pair, ratio %.2f"
                  % (i + 1, orv * 1e3, ref_time * 1e3, ratios[-1]))
        print("median ratio numpy / orv-cli: %.2f (target >= 6)" % statistics.median(ratios))
        print("load average after: %s" % " ".join(open("/proc/loadavg").read().split()[:3]))


if __name__ == "__main__":
    main()
