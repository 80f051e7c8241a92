#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled defaults.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/compiler-cache.sh

# The same configuration as the test command, so that running one after the other rebuilds
# nothing.
cmake -S . -B build/release -G Ninja -DORV_WERROR=ON > /dev/null
cmake --build build/release -j2

root="$(pwd)"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    # A display is available: the GUI, started in the bundled default profile folder, which
    # thereby becomes its first profile-data folder.
    cd "$root/profiles/default"
    exec "$root/build/release/shell/qt/orv"
fi

# No display: a codec comparison, the batch tool's main use.
# A 24-frame sequence made from the three bundled samples of the same size (cycled), encoded
# with H.264 and H.265 at four CRFs through `orv-cli rd`: every encode measured against the
# frames with S-CIELAB, the rate-distortion table and plot, and the Bjøntegaard delta of H.265
# against H.264. Then the middle H.264 encode measured frame by frame with `diff`: heatmaps
# and the HTML report. orv-cli never overwrites, so earlier results are removed first.
cd "$root"
cli=build/release/cli/orv-cli
profile=profiles/default
out=out/main-job
rm -rf "$out"
mkdir -p "$out"

frames=()
for i in $(seq 0 23); do frames+=("samples/reference_000$((i % 3)).bmp"); done
echo "Reference sequence: ${#frames[@]} frames cycled from samples/reference_0000..0002.bmp"

"$cli" rd --profile "$profile" --codec h264 hevc --crf 22 28 34 40 --out "$out/rd" "${frames[@]}"
"$cli" diff --profile "$profile" --quiet --reference "${frames[@]}" \
    --degraded "$out/rd/h264_crf34.mp4" --csv "$out/h264_crf34.csv" \
    --heatmaps "$out/heatmap" --report "$out/report.html" > /dev/null

echo
echo "Rate and S-CIELAB colour difference (CIE94) of each encode:"
column -s, -t < "$out/rd/rd.csv" 2>/dev/null || cat "$out/rd/rd.csv"
echo
echo "Bjøntegaard delta of hevc against h264 (BD-rate in percent; BD-delta in ΔE, negative is better):"
column -s, -t < "$out/rd/bd.csv" 2>/dev/null || cat "$out/rd/bd.csv"
echo
echo "Results in $root/$out:"
echo "  rd/rd.csv, rd/rd.json    size, bitrate and pooled differences of every encode"
echo "  rd/bd.csv                the Bjøntegaard table"
echo "  rd/rd.html               rate-distortion plot (logarithmic bitrate) and the table"
echo "  rd/CODEC_crfN.mp4        the encodes"
echo "  heatmap_NNNN.png         heatmaps of h264 at CRF 34, frame by frame"
echo "Report: $root/$out/report.html"
