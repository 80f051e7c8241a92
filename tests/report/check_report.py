#!/usr/bin/env python3
"""End-to-end checks of orv-cli's JSON record and HTML report on the bundled samples.

  check_report.py schema --cli PATH --profile DIR --samples DIR --schema FILE
      the JSON record validates against the repository's JSON Schema and holds no NaN or
      infinity tokens;
  check_report.py render --cli PATH --profile DIR --samples DIR [--screenshot FILE]
      the HTML report is self-contained and renders in headless Chromium: every inline
      picture decodes, both plots are drawn. Exits 77 (skipped) when Chromium is absent.
"""

import argparse
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

SKIPPED = 77

CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                  "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync"]

# Added to a copy of the report only: the report itself carries no scripts.
PROBE = """<script>
window.addEventListener('load', function () {
  var images = Array.from(document.images);
  var broken = images.filter(function (i) { return !i.complete || i.naturalWidth === 0; });
  var plots = document.querySelectorAll('svg.plot').length;
  var drawn = document.querySelectorAll('svg.plot polyline, svg.plot rect').length;
  document.title = 'RENDERED images=' + images.length + ' broken=' + broken.length +
                   ' plots=' + plots + ' drawn=' + drawn;
});
</script>"""


def run(command):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (result.returncode, " ".join(command), result.stderr))
    return result


def measure(args, folder, outputs):
    samples = sorted(glob.glob(os.path.join(args.samples, "reference_*.bmp")))
    noisy = os.path.join(folder, "noisy")
    run([args.cli, "noise", "--sigma", "6", "6", "6", "--seed", "3", "--out", noisy] + samples)
    degraded = sorted(glob.glob(noisy + "_*.bmp"))
    run([args.cli, "diff", "--quiet", "--profile", args.profile, "--reference"] + samples +
        ["--degraded"] + degraded + ["--csv", os.path.join(folder, "table.csv")] + outputs)
    return len(samples)


def check_schema(args, folder):
    import jsonschema

    record_path = os.path.join(folder, "run.json")
    frames = measure(args, folder, ["--json", record_path, "--delta-e", "2000"])

    def refuse(token):
        raise ValueError("non-finite number %s in the record" % token)

    with open(record_path, encoding="utf-8") as f:
        record = json.load(f, parse_constant=refuse)
    with open(args.schema, encoding="utf-8") as f:
        schema = json.load(f)
    validator = jsonschema.Draft202012Validator(schema)
    validator.check_schema(schema)
    errors = sorted(validator.iter_errors(record), key=lambda e: list(e.path))
    for error in errors:
        print("%s: %s" % ("/".join(str(p) for p in error.path), error.message))
    if errors:
        sys.exit("the record does not match the schema")
    if len(record["frames"]) != frames or record["formula"] != "CIEDE2000":
        sys.exit("the record holds %d frames and formula %s" %
                 (len(record["frames"]), record["formula"]))
    # The schema must also refuse what is wrong: a missing figure and a string for a number.
    broken = json.loads(json.dumps(record))
    del broken["pooled"]["p95"]
    broken["frames"][0]["mean"] = "0.5"
    if len(list(validator.iter_errors(broken))) != 2:
        sys.exit("the schema accepts a broken record")
    # A record measured at a preset's pixel angle: its figures and source replace the fixed
    # geometry's, and the schema accepts it.
    viewed = os.path.join(folder, "viewed")
    os.mkdir(viewed)
    viewed_path = os.path.join(viewed, "run.json")
    measure(args, viewed, ["--json", viewed_path, "--viewing", "tv-uhd-3h"])
    with open(viewed_path, encoding="utf-8") as f:
        viewed_record = json.load(f, parse_constant=refuse)
    errors = list(validator.iter_errors(viewed_record))
    for error in errors:
        print("%s: %s" % ("/".join(str(p) for p in error.path), error.message))
    geometry = viewed_record["profile"]["viewing_geometry"]
    if errors or geometry["source"] != "tv-uhd-3h" or "display_diagonal" in geometry or \
            abs(geometry["pixels_per_degree"] - 113.0973364) > 1e-6:
        sys.exit("the record at a preset's viewing is wrong: %s" % geometry)
    if record["profile"]["viewing_geometry"]["source"] != "default":
        sys.exit("the default record does not say so")
    # A record with PSNR and SSIM (BMP frames: on RGB) matches the schema; a column the
    # measurement has no name for does not.
    measured = os.path.join(folder, "measured")
    os.mkdir(measured)
    measured_path = os.path.join(measured, "run.json")
    measure(args, measured, ["--json", measured_path, "--metrics", "psnr,ssim"])
    with open(measured_path, encoding="utf-8") as f:
        measured_record = json.load(f, parse_constant=refuse)
    errors = list(validator.iter_errors(measured_record))
    for error in errors:
        print("%s: %s" % ("/".join(str(p) for p in error.path), error.message))
    metrics = measured_record.get("metrics", {})
    if errors or metrics.get("planes") != "rgb" or len(metrics.get("frames", [])) != frames or \
            "psnr_r" not in metrics.get("pooled", {}) or "metrics" in record:
        sys.exit("the record with metrics is wrong: %s" % metrics.get("pooled"))
    metrics["pooled"]["psnr_x"] = 1.0
    if len(list(validator.iter_errors(measured_record))) != 1:
        sys.exit("the schema accepts an unknown metric column")
    print("record valid: %d frames" % frames)


def check_render(args, folder):
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if chromium is None:
        print("chromium is not installed: skipped")
        sys.exit(SKIPPED)
    report = os.path.join(folder, "report.html")
    measure(args, folder, ["--report", report])
    with open(report, encoding="utf-8") as f:
        page = f.read()
    if re.search(r"<script|<link|src=\"(?!data:)|https?://", page):
        sys.exit("the report is not self-contained")
    probe = os.path.join(folder, "probe.html")
    with open(probe, "w", encoding="utf-8") as f:
        f.write(page.replace("</body>", PROBE + "</body>"))
    profile = os.path.join(folder, "chromium-profile")
    common = [chromium] + CHROMIUM_FLAGS + ["--user-data-dir=" + profile,
                                            "--virtual-time-budget=10000"]
    dom = subprocess.run(common + ["--dump-dom", "file://" + probe], capture_output=True,
                         text=True, timeout=120)
    title = re.search(r"<title>(RENDERED[^<]*)</title>", dom.stdout)
    if dom.returncode != 0 or title is None:
        sys.exit("chromium did not render the report (status %d)\n%s" %
                 (dom.returncode, dom.stderr[-2000:]))
    figures = dict(item.split("=") for item in title.group(1).split()[1:])
    print("chromium: " + title.group(1))
    # The four sample frames are all among the five worst: three pictures each.
    if (int(figures["images"]) != 3 * 4 or int(figures["broken"]) != 0 or
            int(figures["plots"]) != 2 or int(figures["drawn"]) < 3):
        sys.exit("the report rendered incompletely: " + title.group(1))
    if args.screenshot:
        shot = subprocess.run(common + ["--screenshot=" + args.screenshot,
                                        "--window-size=1200,2000", "file://" + report],
                              capture_output=True, text=True, timeout=120)
        if shot.returncode != 0 or not os.path.getsize(args.screenshot):
            sys.exit("chromium made no screenshot\n" + shot.stderr[-2000:])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=["schema", "render"])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--profile", required=True)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--schema")
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        if args.check == "schema":
            check_schema(args, folder)
        else:
            check_render(args, folder)


if __name__ == "__main__":
    main()
