"""The orv module against orv-cli on the same frames, its errors, threads and docstrings."""

import concurrent.futures
import csv
import inspect
import io
import os

import numpy as np
import pytest

import orv
from conftest import PROFILE_DIR, run_cli, write_bmp


@pytest.mark.parametrize(
    "height, width",
    [
        (64, 96),  # rows without padding
        (23, 37),  # odd sides, rows padded to four bytes
        (40, 6),   # taller than wide
    ],
)
def test_diff_matches_cli(tmp_path, pair_files, profile, height, width):
    references, degradeds = pair_files(height, width)
    status, out, err = run_cli("diff", "--profile", PROFILE_DIR, "--threads", "1",
                               "--reference", *references, "--degraded", *degradeds,
                               "--values", str(tmp_path / "v"))
    assert status == 0, err
    rows = list(csv.DictReader(io.StringIO(out)))
    by_files = orv.diff_files(references, degradeds, profile, threads=2, keep_maps=True)
    for i, (reference, degraded) in enumerate(zip(references, degradeds)):
        result = orv.diff(orv.read_frame(reference), orv.read_frame(degraded), profile)
        cli_map = np.load(tmp_path / ("v_%04d.npy" % i))
        assert result.map.shape == (height, width)
        assert np.max(np.abs(result.map - cli_map)) <= 1e-12
        assert np.array_equal(by_files[i].map, result.map)
        for name in ("mean", "max", "min"):
            assert "%.6f" % getattr(result, name) == rows[i][name]
            assert getattr(by_files[i], name) == getattr(result, name)


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
    cases = [
        (lambda: orv.Profile(missing_profile), missing_profile, text),
        (lambda: orv.read_frame(missing), PROFILE_DIR, missing),
        (lambda: orv.read_frame(text), PROFILE_DIR, text),
    ]
    for call, cli_profile, cli_file in cases:
        with pytest.raises(orv.Error) as raised:
            call()
        status, _, err = run_cli("filter", "--profile", cli_profile, "--out", str(tmp_path / "o"), cli_file)
        assert (status, err.strip()) == (1, "orv-cli: " + str(raised.value))


@pytest.mark.parametrize(
    "reference, degraded, error, text",
    [
        (np.zeros((4, 4, 3), np.uint8), np.zeros((4, 5, 3), np.uint8), orv.Error,
         "reference is 4x4 but degraded is 5x4; the frames of a pair must have the same size"),
        (np.zeros((4, 4, 3)), np.zeros((4, 4, 3), np.uint8), TypeError, "dtype uint8"),
        (np.zeros((4, 4), np.uint8), np.zeros((4, 4, 3), np.uint8), ValueError, "shape"),
        (np.zeros((4, 4, 4), np.uint8), np.zeros((4, 4, 3), np.uint8), ValueError, "shape"),
        ([[0]], np.zeros((4, 4, 3), np.uint8), TypeError, "numpy array"),
    ],
)
def test_bad_frames_are_refused(profile, reference, degraded, error, text):
    with pytest.raises(error, match=text):
        orv.diff(reference, degraded, profile)


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
    for cls in (orv.Profile, orv.FrameDiff):
        names += [member for name, member in inspect.getmembers(cls) if not name.startswith("_")]
    undocumented = [repr(n) for n in names if not isinstance(n, tuple) and not (inspect.getdoc(n) or "").strip()]
    assert undocumented == []
