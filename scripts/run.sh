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

# No display: the batch measurement.
# The bundled sample sequence, a noisy version of it made with a fixed seed, their S-CIELAB
# colour differences (table, grey pictures, per-pixel values) and the filtered samples, all
# in a fresh output folder (orv-cli never overwrites, so earlier results are removed first).
cd "$root"
cli=build/release/cli/orv-cli
profile=profiles/default
out=out/main-job
rm -rf "$out"
mkdir -p "$out"

samples=(samples/reference_*.bmp)
echo "Reference sequence: ${#samples[@]} frames in $root/samples"

"$cli" noise --sigma 6 4 8 --seed 20261207 --out "$out/noisy" "${samples[@]}"
noisy=("$out"/noisy_*.bmp)

"$cli" diff --profile "$profile" --reference "${samples[@]}" --degraded "${noisy[@]}" \
    --csv "$out/differences.csv" --maps "$out/map" --values "$out/values"
"$cli" filter --profile "$profile" --out "$out/filtered" "${samples[@]}"

echo
echo "S-CIELAB colour differences (CIE94) of the samples against noise of sigma 6, 4, 8:"
column -s, -t < "$out/differences.csv" 2>/dev/null || cat "$out/differences.csv"
echo
echo "Results in $root/$out:"
echo "  differences.csv          frame, files, mean, max and min difference"
echo "  noisy_NNNN.bmp           the degraded frames"
echo "  map_NNNN.bmp             grey pictures of the difference maps"
echo "  values_NNNN.npy          per-pixel differences (float64, first row the top)"
echo "  filtered_NNNN.bmp        the S-CIELAB-filtered reference frames"
