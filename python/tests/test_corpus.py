"""Corpus runs: a 2-worker local Dask cluster against a serial run, failures and resuming."""

import csv
import json
import os
import subprocess
import sys

import numpy as np

import orv.corpus
from conftest import PROFILE_DIR, noisy, smooth_frame, write_bmp


def make_corpus(folder):
    """Six pairs: three of frame directories (2 frames), three of single files; relative paths."""
    rng = np.random.default_rng(3)
    rows = []
    for pair in range(6):
        reference, degraded = "ref%d" % pair, "deg%d" % pair
        frames = 2 if pair < 3 else 1
        if pair < 3:
            os.mkdir(folder / reference)
            os.mkdir(folder / degraded)
        for i in range(frames):
            frame = smooth_frame(rng, 24, 32)
            names = ("%s/f_%d.bmp" % (reference, i), "%s/f_%d.bmp" % (degraded, i)) if pair < 3 else \
                (reference + ".bmp", degraded + ".bmp")
            write_bmp(str(folder / names[0]), frame)
            write_bmp(str(folder / names[1]), noisy(rng, frame, 2.0 * (pair + 1)))
        if pair >= 3:
            reference, degraded = reference + ".bmp", degraded + ".bmp"
        rows.append({"reference": reference, "degraded": degraded, "label": "pair%d" % pair,
                     "profile": PROFILE_DIR if pair == 5 else ""})
    write_manifest(folder / "manifest.csv", rows)
    return rows


def write_manifest(path, rows):
    with open(path, "w", newline="") as handle:
        writer = csv.DictWriter(handle, ["reference", "degraded", "profile", "label"])
        writer.writeheader()
        writer.writerows(rows)


def results(path):
    with open(path, newline="") as handle:
        rows = {row["label"]: row for row in csv.DictReader(handle)}
    for row in rows.values():
        del row["seconds"]
    return rows


def frame_rows(path):
    with open(path) as handle:
        return {pair["label"]: pair["frame_rows"] for pair in json.load(handle)["pairs"]}


def test_cluster_equals_serial_and_resumes(tmp_path):
    make_corpus(tmp_path)
    manifest = str(tmp_path / "manifest.csv")
    serial = orv.corpus.run(manifest, str(tmp_path / "serial.csv"), str(tmp_path / "serial.json"),
                            workers=0, profile=PROFILE_DIR, quiet=True)
    assert (serial["measured"], serial["failed"], serial["frames"]) == (6, 0, 9)

    command = [sys.executable, "-m", "orv.corpus", manifest, "--out", str(tmp_path / "cluster.csv"),
               "--json", str(tmp_path / "cluster.json"), "--workers", "2", "--profile", PROFILE_DIR, "--quiet"]
    done = subprocess.run(command, capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    assert results(tmp_path / "cluster.csv") == results(tmp_path / "serial.csv")
    assert frame_rows(tmp_path / "cluster.json") == frame_rows(tmp_path / "serial.json")
    assert len(results(tmp_path / "serial.csv")) == 6

    # Everything is done: a second run measures nothing.
    again = orv.corpus.run(manifest, str(tmp_path / "serial.csv"), str(tmp_path / "serial.json"),
                           workers=0, profile=PROFILE_DIR, quiet=True)
    assert (again["skipped"], again["measured"]) == (6, 0)

    # A run stopped after four pairs, and a new pair that fails: only the missing ones run.
    complete = results(tmp_path / "serial.csv")
    with open(tmp_path / "serial.csv", newline="") as handle:
        kept = list(csv.reader(handle))[:5]
    with open(tmp_path / "serial.csv", "w", newline="") as handle:
        csv.writer(handle).writerows(kept)
    with open(manifest, newline="") as handle:
        rows = list(csv.DictReader(handle))
    write_manifest(manifest, rows + [{"reference": "ref0", "degraded": "nowhere", "profile": "", "label": "bad"}])
    status = orv.corpus.main([manifest, "--out", str(tmp_path / "serial.csv"), "--json",
                              str(tmp_path / "serial.json"), "--workers", "0", "--profile", PROFILE_DIR, "--quiet"])
    assert status == 1
    resumed = results(tmp_path / "serial.csv")
    error = resumed.pop("bad")["error"]
    assert str(tmp_path / "nowhere") in error and "cannot open" in error
    assert resumed == complete
    assert frame_rows(tmp_path / "serial.json") == dict(frame_rows(tmp_path / "cluster.json"), bad=[])
