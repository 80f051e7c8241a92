"""Display models, primaries and ΔE ITP through the Python module, against orv-cli."""

import csv
import io

import numpy as np
import pytest

import orv
from conftest import PROFILE_DIR, run_cli


@pytest.mark.parametrize(
    "options, keywords, delta_e",
    [
        (["--display", "pq", "--primaries", "bt2020"], {"display": "pq", "primaries": "bt2020"}, 94),
        (["--display", "pq", "--primaries", "bt2020", "--delta-e", "itp"],
         {"display": "pq", "primaries": "bt2020"}, "itp"),
        (["--display", "hlg", "--peak-luminance", "600", "--white-luminance", "150", "--delta-e", "2000"],
         {"display": "hlg", "peak_luminance": 600, "white_luminance": 150}, 2000),
        (["--display", "bt1886", "--black-luminance", "0.1", "--primaries", "p3d65"],
         {"display": "bt1886", "black_luminance": 0.1, "primaries": "p3d65"}, 94),
    ],
)
def test_display_keywords_match_cli(tmp_path, pair_files, options, keywords, delta_e):
    references, degradeds = pair_files(20, 28, n=1)
    status, out, err = run_cli("diff", "--profile", PROFILE_DIR, *options, "--reference", *references,
                               "--degraded", *degradeds, "--values", str(tmp_path / "v"))
    assert status == 0, err
    cli_map = np.load(tmp_path / "v_0000.npy")
    reference, degraded = orv.read_frame(references[0]), orv.read_frame(degradeds[0])
    by_profile = orv.diff(reference, degraded, orv.Profile(PROFILE_DIR, **keywords), delta_e=delta_e)
    by_call = orv.diff(reference, degraded, orv.Profile(PROFILE_DIR), delta_e=delta_e, **keywords)
    assert np.max(np.abs(by_profile.map - cli_map)) <= 1e-12
    assert np.array_equal(by_profile.map, by_call.map)
    row = next(csv.DictReader(io.StringIO(out)))
    assert "%.6f" % by_profile.mean == row["mean"]


def test_display_refusals(pair_files):
    references, degradeds = pair_files(8, 8, n=1)
    frame = orv.read_frame(references[0])
    with pytest.raises(orv.Error, match="display must be"):
        orv.Profile(PROFILE_DIR, display="PQ")
    with pytest.raises(orv.Error, match="primaries must be"):
        orv.diff(frame, frame, orv.Profile(PROFILE_DIR), primaries="rec2020")
    with pytest.raises(orv.Error, match="peak luminance"):
        orv.Profile(PROFILE_DIR, display="pq", peak_luminance=0)
    with pytest.raises(ValueError, match="'itp'"):
        orv.diff(frame, frame, orv.Profile(PROFILE_DIR), delta_e="ictcp")
    assert orv.formula_name("itp") == "ITP"


def test_deep_arrays_are_measured_exactly(profile):
    """Two uint16 frames one 16-bit code apart differ; the same values as floats agree; uint16
    values that are whole multiples of 257 measure as their uint8 frames."""
    rng = np.random.default_rng(3)
    bytes_ = rng.integers(0, 256, size=(12, 16, 3), dtype=np.uint8)
    words = bytes_.astype(np.uint16) * 257
    assert np.allclose(orv.diff(bytes_, bytes_ ^ 8, profile).map,
                       orv.diff(words, (bytes_ ^ 8).astype(np.uint16) * 257, profile).map, atol=1e-9)
    nudged = words.copy()
    nudged[..., 1] += 40
    deep = orv.diff(words, nudged, profile, display="pq", primaries="bt2020")
    assert deep.mean > 0
    as_float = orv.diff(words / 65535.0, nudged.astype(np.float32) / np.float32(65535), profile,
                        display="pq", primaries="bt2020")
    assert np.max(np.abs(as_float.map - deep.map)) < 1e-4
    with pytest.raises(ValueError, match="finite"):
        orv.diff(np.full((4, 4, 3), np.nan), np.zeros((4, 4, 3)), profile)


def test_tagged_stream_chooses_the_display(tmp_path):
    """A lossless HEVC stream tagged PQ/BT.2020 measures as its raw 10-bit frames on the pq
    display with the bt2020 primaries; keywords given on the Profile win over the tags."""
    import shutil
    import subprocess
    if shutil.which("ffmpeg") is None:
        pytest.skip("no ffmpeg tool")
    rng = np.random.default_rng(5)
    names = []
    for name in ("r", "d"):
        planes = [rng.integers(100, 900, size=(24, 64)), rng.integers(380, 640, size=(24, 64)),
                  rng.integers(380, 640, size=(24, 64))]
        raw = tmp_path / (name + ".yuv")
        raw.write_bytes(np.concatenate([p.ravel() for p in planes]).astype("<u2").tobytes())
        video = tmp_path / (name + ".mp4")
        done = subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "rawvideo",
                               "-pix_fmt", "yuv444p10le", "-s", "64x24", "-i", str(raw), "-c:v",
                               "libx265", "-x265-params", "lossless=1:log-level=error", "-pix_fmt",
                               "yuv444p10le", "-color_primaries", "bt2020", "-color_trc",
                               "smpte2084", "-colorspace", "bt2020nc", "-color_range", "tv",
                               str(video)], capture_output=True)
        if done.returncode != 0:
            pytest.skip("ffmpeg cannot encode HEVC")
        names.append((str(raw), str(video)))
    (raw_r, video_r), (raw_d, video_d) = names
    tagged = orv.diff_files([video_r], [video_d], orv.Profile(PROFILE_DIR), keep_maps=True)
    asked = orv.diff_files([raw_r], [raw_d], orv.Profile(PROFILE_DIR, display="pq", primaries="bt2020"),
                           keep_maps=True, size="64x24", pix_fmt="yuv444p10le", matrix="bt2020",
                           range="limited")
    assert np.array_equal(tagged.frames[0].map, asked.frames[0].map)
    kept = orv.diff_files([video_r], [video_d], orv.Profile(PROFILE_DIR, display="profile",
                                                            primaries="profile"), keep_maps=True)
    assert not np.array_equal(kept.frames[0].map, tagged.frames[0].map)


def test_each_side_on_its_own_display(tmp_path, pair_files):
    """reference_display and the like set one side alone, over display and primaries, as orv-cli's
    --reference-display and the like do; unknown names are refused."""
    references, degradeds = pair_files(20, 28, n=1)
    status, out, err = run_cli("diff", "--profile", PROFILE_DIR, "--reference-display", "pq",
                               "--reference-primaries", "bt2020", "--degraded-display", "srgb",
                               "--reference", *references, "--degraded", *degradeds,
                               "--values", str(tmp_path / "v"))
    assert status == 0, err
    cli_map = np.load(tmp_path / "v_0000.npy")
    reference, degraded = orv.read_frame(references[0]), orv.read_frame(degradeds[0])
    profile = orv.Profile(PROFILE_DIR)
    sides = orv.diff(reference, degraded, profile, reference_display="pq",
                     reference_primaries="bt2020", degraded_display="srgb")
    over = orv.diff(reference, degraded, profile, display="srgb", primaries="bt2020",
                    reference_display="pq", degraded_primaries="profile")
    both = orv.diff(reference, degraded, profile, display="pq", primaries="bt2020")
    assert np.max(np.abs(sides.map - cli_map)) <= 1e-12
    assert np.array_equal(sides.map, over.map)
    assert abs(sides.mean - both.mean) > 0.1
    files = orv.diff_files(references, degradeds, profile, reference_display="pq",
                           reference_primaries="bt2020", degraded_display="srgb")
    assert files.frames[0].mean == sides.mean
    for keyword in ("reference_display", "degraded_primaries"):
        with pytest.raises(orv.Error, match="must be"):
            orv.diff(reference, degraded, profile, **{keyword: "rec2020"})
