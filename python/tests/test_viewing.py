"""orv.Profile's viewing keywords: the same map as orv-cli's options, the same refusals."""

import csv
import io

import numpy as np
import pytest

import orv
from conftest import PROFILE_DIR, run_cli


@pytest.mark.parametrize(
    "keywords, options",
    [
        ({"ppd": 40}, ["--ppd", "40"]),
        ({"display_width_cm": 59.8, "display_width_pixels": 3840, "distance_cm": 60},
         ["--display-width-cm", "59.8", "--display-width-pixels", "3840", "--distance-cm", "60"]),
        ({"distance_heights": 3, "display_height_pixels": 2160},
         ["--distance-heights", "3", "--display-height-pixels", "2160"]),
        ({"viewing": "phone"}, ["--viewing", "phone"]),
    ],
)
def test_keywords_give_the_map_of_the_cli_options(tmp_path, pair_files, keywords, options):
    references, degradeds = pair_files(24, 32)
    status, out, err = run_cli("diff", "--profile", PROFILE_DIR, "--threads", "1", *options,
                               "--reference", references[0], "--degraded", degradeds[0],
                               "--values", str(tmp_path / "v"))
    assert status == 0, err
    profile = orv.Profile(PROFILE_DIR, **keywords)
    result = orv.diff(orv.read_frame(references[0]), orv.read_frame(degradeds[0]), profile)
    cli_map = np.load(tmp_path / "v_0000.npy")
    assert np.max(np.abs(result.map - cli_map)) <= 1e-12
    # The angle matters: the default profile measures another map.
    default = orv.diff(orv.read_frame(references[0]), orv.read_frame(degradeds[0]),
                       orv.Profile(PROFILE_DIR))
    assert np.max(np.abs(default.map - result.map)) > 1e-6
    row = next(csv.DictReader(io.StringIO(out)))
    assert abs(float(row["mean"]) - result.mean) <= 5e-7


def test_pixels_per_degree_and_the_default():
    assert orv.Profile(PROFILE_DIR).pixels_per_degree == pytest.approx(68.65711, abs=1e-5)
    assert orv.Profile(PROFILE_DIR, viewing="laptop14").pixels_per_degree == \
        orv.Profile(PROFILE_DIR).pixels_per_degree
    assert orv.Profile(PROFILE_DIR, ppd=40).pixels_per_degree == pytest.approx(40.0, rel=1e-15)


@pytest.mark.parametrize(
    "keywords, message",
    [
        ({"ppd": 0}, "ppd must be a positive finite number, not 0"),
        ({"ppd": float("nan")}, "ppd must be a positive finite number, not nan"),
        ({"distance_cm": 60}, "distance_cm needs display_width_cm and display_width_pixels as well"),
        ({"ppd": 40, "viewing": "phone"}, "viewing and ppd both give the viewing geometry"),
        ({"viewing": "cinema"}, "viewing: unknown viewing preset \"cinema\""),
        ({"ppd": 0.5}, "ppd: 0.50 pixels per degree; at least 1 is needed"),
        ({"ppd": 150}, "ppd: 150.00 pixels per degree is above the 141.42 the profile's filter "
                       "responses reach"),
    ],
)
def test_refusals_are_value_errors_naming_the_keyword(keywords, message):
    with pytest.raises(ValueError) as raised:
        orv.Profile(PROFILE_DIR, **keywords)
    assert message in str(raised.value)
