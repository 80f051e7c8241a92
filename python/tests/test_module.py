"""The orv module against orv-cli on the same frames, its errors, threads and docstrings."""

import concurrent.futures
import csv
import inspect
import io
import json
import os
import shutil

import numpy as np
import pytest

import orv
from conftest import PROFILE_DIR, noisy, run_cli, smooth_frame, write_bmp, write_y4m


@pytest.mark.parametrize(
    "height, width, delta_e",
    [
        (64, 96, 94),  # rows without padding
        (23, 37, 94),  # odd sides, rows padded to four bytes
        (40, 6, 94),   # taller than wide
        (23, 37, 2000),
        (23, 37, 76),
    ],
)
def test_diff_matches_cli(tmp_path, pair_files, profile, height, width, delta_e):
    formula = [] if delta_e == 94 else ["--delta-e", str(delta_e)]
    references, degradeds = pair_files(height, width)
    status, out, err = run_cli("diff", "--profile", PROFILE_DIR, "--threads", "1", *formula,
                               "--reference", *references, "--degraded", *degradeds,
                               "--values", str(tmp_path / "v"))
    assert status == 0, err
    rows = list(csv.DictReader(io.StringIO(out)))
    by_files = orv.diff_files(references, degradeds, profile, threads=2, keep_maps=True, delta_e=delta_e)
    for i, (reference, degraded) in enumerate(zip(references, degradeds)):
        result = orv.diff(orv.read_frame(reference), orv.read_frame(degraded), profile, delta_e=delta_e)
        cli_map = np.load(tmp_path / ("v_%04d.npy" % i))
        assert result.map.shape == (height, width)
        assert np.max(np.abs(result.map - cli_map)) <= 1e-12
        assert np.array_equal(by_files.frames[i].map, result.map)
        stats = result.stats()
        assert by_files.frames[i].stats() == stats
        assert set(rows[i]) - {"frame", "reference", "degraded"} == set(stats)
        for name in stats:
            text = "%.6f" % stats[name] if isinstance(stats[name], float) else str(stats[name])
            assert text == rows[i][name], name


def test_pooled_figures_match_cli_summary(tmp_path, pair_files, profile):
    references, degradeds = pair_files(24, 32, n=3)
    status, _, err = run_cli("diff", "--profile", PROFILE_DIR, "--reference", *references, "--degraded",
                             *degradeds[:2], "--thresholds", "0.5,3", "--summary", str(tmp_path / "s.csv"),
                             "--csv", str(tmp_path / "t.csv"))
    assert status == 0, err
    with open(tmp_path / "s.csv", newline="") as handle:
        summary = {row["figure"]: row["value"] for row in csv.DictReader(handle)}
    pooled = orv.diff_files(references, degradeds[:2], profile, thresholds=[0.5, 3]).pooled
    assert set(summary) - {"formula"} <= set(pooled)
    for name, value in pooled.items():
        if name in summary:
            assert ("%.6f" % value if isinstance(value, float) else str(value)) == summary[name], name


def test_video_frames_match_cli(tmp_path, profile):
    rng = np.random.default_rng(5)
    clean = np.stack([smooth_frame(rng, 18, 22) for _ in range(3)])
    paths = [str(tmp_path / "a.y4m"), str(tmp_path / "b.y4m")]
    write_y4m(paths[0], clean)
    write_y4m(paths[1], np.stack([noisy(rng, frame, 5.0) for frame in clean]))
    frames = list(orv.read_frames(paths[0]))
    assert len(frames) == 3 and np.array_equal(frames[0], orv.read_frame(paths[0]))
    status, out, err = run_cli("diff", "--profile", PROFILE_DIR, "--reference", paths[0], "--degraded", paths[1],
                               "--degraded-start", "1", "--values", str(tmp_path / "v"))
    assert status == 0, err
    rows = list(csv.DictReader(io.StringIO(out)))
    measured = orv.diff_files([paths[0]], [paths[1]], profile, keep_maps=True, degraded_start=1)
    assert len(measured.frames) == len(rows) == 3  # the shorter degraded side repeats its last frame
    for i, (row, result) in enumerate(zip(rows, measured.frames)):
        assert (result.reference, result.degraded) == (row["reference"], row["degraded"])
        assert "%.6f" % result.mean == row["mean"]
        assert np.max(np.abs(result.map - np.load(tmp_path / ("v_%04d.npy" % i)))) <= 1e-12
    assert [i["frames"] for i in measured.inputs] == [3, 3]


def test_filter_matches_cli(tmp_path, pair_files, profile):
    references, _ = pair_files(23, 37, n=1)
    status, _, err = run_cli("filter", "--profile", PROFILE_DIR, "--out", str(tmp_path / "f"), references[0])
    assert status == 0, err
    filtered = orv.filter(orv.read_frame(references[0]), profile)
    assert filtered.dtype == np.uint8 and filtered.shape == (23, 37, 3)
    assert np.array_equal(filtered, orv.read_frame(str(tmp_path / "f_0000.bmp")))


def test_arrays_keep_python_orientation(tmp_path, profile):
    """Row 0 is the top and channels are RGB both ways; strided views are read correctly."""
    frame = np.zeros((8, 10, 3), np.uint8)
    frame[0, 0] = (255, 0, 0)  # top-left red
    frame[7, 9] = (0, 0, 255)  # bottom-right blue
    write_bmp(str(tmp_path / "f.bmp"), frame)
    assert np.array_equal(orv.read_frame(str(tmp_path / "f.bmp")), frame)
    frames = list(orv.read_frames([str(tmp_path / "f.bmp"), str(tmp_path)]))
    assert len(frames) == 2 and all(np.array_equal(f, frame) for f in frames)

    degraded = frame.copy()
    degraded[0, 0] = (200, 0, 0)
    result = orv.diff(frame, degraded, profile)
    top, left = np.unravel_index(np.argmax(result.map), result.map.shape)
    assert (top, left) == (0, 0)
    wide = np.zeros((8, 20, 3), np.uint8)
    wide[:, ::2] = frame
    bgr = frame[:, :, ::-1].copy()
    assert np.array_equal(orv.diff(wide[:, ::2], bgr[:, :, ::-1], profile).map,
                          orv.diff(frame, frame, profile).map)


def test_directory_sequences_in_natural_order(tmp_path):
    for n in (10, 2, 1):
        write_bmp(str(tmp_path / ("f_%d.bmp" % n)), np.full((2, 2, 3), n, np.uint8))
    (tmp_path / "notes.txt").write_text("not a frame")
    (tmp_path / "empty").mkdir()
    assert [os.path.basename(p) for p in orv.sequence_files(str(tmp_path))] == ["f_1.bmp", "f_2.bmp", "f_10.bmp"]
    with pytest.raises(orv.Error, match="holds no frame files"):
        orv.sequence_files(str(tmp_path / "empty"))


def test_errors_carry_cli_texts(tmp_path):
    """orv.Error says what orv-cli says after "orv-cli: " for the same profile or file."""
    (tmp_path / "text.bmp").write_text("not a bitmap")
    missing_profile, missing, text = (str(tmp_path / n) for n in ("none", "missing.bmp", "text.bmp"))
    kernels_only = tmp_path / "kernels"  # no display model: refused by Profile, by orv-cli at the frame
    kernels_only.mkdir()
    for name in ("kernel_L.txt", "kernel_RG.txt", "kernel_BY.txt"):
        shutil.copy(os.path.join(PROFILE_DIR, name), kernels_only)
    frame = str(tmp_path / "frame.bmp")
    write_bmp(frame, np.zeros((4, 4, 3), np.uint8))
    cases = [
        (lambda: orv.Profile(missing_profile), missing_profile, text),
        (lambda: orv.Profile(str(kernels_only)), str(kernels_only), frame),
        (lambda: orv.read_frame(missing), PROFILE_DIR, missing),
        (lambda: orv.read_frame(text), PROFILE_DIR, text),
    ]
    for call, cli_profile, cli_file in cases:
        with pytest.raises(orv.Error) as raised:
            call()
        status, _, err = run_cli("filter", "--profile", cli_profile, "--out", str(tmp_path / "o"), cli_file)
        assert (status, err.strip()) == (1, "orv-cli: " + str(raised.value))
    # The system's reason ends the text where it gave one.
    with pytest.raises(orv.Error) as raised:
        orv.read_frame(missing)
    assert str(raised.value) == "cannot open " + missing + ": No such file or directory"


FRAME = np.zeros((4, 4, 3), np.uint8)


@pytest.mark.parametrize(
    "reference, degraded, options, error, text",
    [
        (FRAME, np.zeros((4, 5, 3), np.uint8), {}, orv.Error,
         "reference is 4x4 but degraded is 5x4; the frames of a pair must have the same size"),
        (np.zeros((4, 4, 3), np.int32), FRAME, {}, TypeError, "dtype uint8"),  # float and uint16 are measured exactly
        (np.zeros((4, 4), np.uint8), FRAME, {}, ValueError, "shape"),
        (np.zeros((4, 4, 4), np.uint8), FRAME, {}, ValueError, "shape"),
        ([[0]], FRAME, {}, TypeError, "numpy array"),
        (FRAME, FRAME, {"delta_e": 95}, ValueError, "delta_e must be 94"),
        (FRAME, FRAME, {"thresholds": [1, float("nan")]}, ValueError, "thresholds"),
    ],
)
def test_bad_frames_and_options_are_refused(profile, reference, degraded, options, error, text):
    with pytest.raises(error, match=text):
        orv.diff(reference, degraded, profile, **options)


def test_threads_give_the_same_numbers(pair_files, profile):
    references, degradeds = pair_files(48, 64, n=4)
    pairs = [(orv.read_frame(r), orv.read_frame(d)) for r, d in zip(references, degradeds)] * 3
    serial = [orv.diff(r, d, profile).map for r, d in pairs]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        threaded = list(pool.map(lambda p: orv.diff(p[0], p[1], profile).map, pairs))
    assert all(np.array_equal(a, b) for a, b in zip(serial, threaded))


def test_every_public_name_is_documented():
    import orv.corpus

    names = [getattr(orv, name) for name in orv.__all__] + [orv, orv.corpus, orv.corpus.run, orv.corpus.main,
                                                            orv.corpus.measure_pair]
    for cls in (orv.Profile, orv.FrameDiff, orv.SequenceDiff):
        names += [member for name, member in inspect.getmembers(cls) if not name.startswith("_")]
    undocumented = [repr(n) for n in names if not isinstance(n, tuple) and not (inspect.getdoc(n) or "").strip()]
    assert undocumented == []


@pytest.mark.parametrize("pair_by", ["position", "time"])
def test_pairing_and_warnings_match_cli(tmp_path, profile, pair_by):
    # A degraded video one frame shorter: paired as orv-cli pairs it, with its warning.
    rng = np.random.default_rng(9)
    clean = np.stack([smooth_frame(rng, 16, 20) for _ in range(4)])
    paths = [str(tmp_path / "a.y4m"), str(tmp_path / "b.y4m")]
    write_y4m(paths[0], clean)
    write_y4m(paths[1], np.stack([noisy(rng, frame, 4.0) for frame in clean[:3]]))
    record = str(tmp_path / "run.json")
    status, out, err = run_cli("diff", "--profile", PROFILE_DIR, "--reference", paths[0], "--degraded", paths[1],
                               "--pair-by", pair_by, "--json", record)
    assert status == 0, err
    rows = list(csv.DictReader(io.StringIO(out)))
    measured = orv.diff_files([paths[0]], [paths[1]], profile, pair_by=pair_by)
    assert [(f.reference, f.degraded) for f in measured.frames] == [(r["reference"], r["degraded"]) for r in rows]
    assert ["%.6f" % f.mean for f in measured.frames] == [r["mean"] for r in rows]
    with open(record, encoding="utf-8") as handle:
        kept = json.load(handle)
    assert measured.pair_by == kept["pair_by"] == pair_by
    assert measured.warnings == kept["warnings"] and len(measured.warnings) == 1
    assert measured.missing_frames == [[], []]


def test_pairing_by_time_needs_times(tmp_path, pair_files, profile):
    references, degradeds = pair_files(8, 8, n=1)
    with pytest.raises(orv.Error, match="pairing by time needs one video on each side"):
        orv.diff_files(references, degradeds, profile, pair_by="time")
    with pytest.raises(ValueError, match="pair_by must be 'position' or 'time'"):
        orv.diff_files(references, degradeds, profile, pair_by="sideways")


def test_metrics_match_cli(tmp_path, pair_files, profile):
    """PSNR and SSIM of arrays and of files: the numbers of orv-cli diff --metrics."""
    references, degradeds = pair_files(40, 48, n=2)
    status, out, err = run_cli("diff", "--profile", PROFILE_DIR, "--reference", *references, "--degraded",
                               *degradeds, "--metrics", "psnr,ssim", "--summary", str(tmp_path / "s.csv"))
    assert status == 0, err
    rows = list(csv.DictReader(io.StringIO(out)))
    with open(tmp_path / "s.csv", newline="") as handle:
        summary = {row["figure"]: row["value"] for row in csv.DictReader(handle)}
    by_files = orv.diff_files(references, degradeds, profile, metrics=("psnr", "ssim"))
    columns = ["psnr_r", "psnr_g", "psnr_b", "psnr_avg", "ssim_r", "ssim_g", "ssim_b", "ssim_all"]
    assert list(by_files.metrics) == columns
    for name in columns:
        assert "%.6f" % by_files.metrics[name] == summary[name], name
    for i, row in enumerate(rows):
        single = orv.diff(orv.read_frame(references[i]), orv.read_frame(degradeds[i]), profile, metrics="psnr,ssim")
        for name in columns:
            assert "%.6f" % single.metrics[name] == row[name] == "%.6f" % by_files.frames[i].metrics[name], name
    plain = orv.diff_files(references, degradeds, profile)
    assert plain.metrics is None and plain.frames[0].metrics is None
    frame = orv.read_frame(references[0])
    assert orv.diff(frame, frame, profile, metrics=["psnr"]).metrics["psnr_avg"] == float("inf")
    with pytest.raises(orv.Error, match='unknown metric "vmaf"'):
        orv.diff(frame, frame, profile, metrics=("psnr", "vmaf"))
