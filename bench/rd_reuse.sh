#!/bin/sh
# rd --bitstreams against separate diff runs: four H.264 encodes (libx264 CRF 20, 26, 32, 38)
# of FRAMES full-HD frames (testsrc2, default 8) measured against the frames as BMP files, one
# thread, in turns: one rd run (each reference frame filtered once for the four encodes), then
# the four diff runs of the same pairs, ROUNDS times (default 3). Prints each round's CPU
# seconds (user + system) and wall seconds and the ratio rd / four diffs of the medians. The
# figures are the same either way (tests/measure/shared_reference_tests.cpp).
#
#   bench/rd_reuse.sh [FRAMES [ROUNDS]]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/release/cli/orv-cli"
profile="$root/profiles/default"
frames=${1:-8}
rounds=${2:-3}
work=$(mktemp -d /var/tmp/orv-rd-reuse.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
ffmpeg -loglevel error -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v "$frames" \
    -pix_fmt bgr24 ref_%04d.bmp
crfs="20 26 32 38"
for crf in $crfs; do
    ffmpeg -loglevel error -framerate 25 -i ref_%04d.bmp -c:v libx264 -crf "$crf" \
        -pix_fmt yuv420p "crf$crf.mp4"
done
refs=$(ls ref_*.bmp)
# CPU and wall seconds of a command, from /usr/bin/time.
timed() {
    /usr/bin/time -f '%U %S %e' -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' "$work/time"
}
: >rd_times
: >diff_times
i=1
while [ "$i" -le "$rounds" ]; do
    rm -rf out
    # shellcheck disable=SC2086
    timed "$cli" rd --profile "$profile" --threads 1 --out out \
        --bitstreams crf20.mp4 crf26.mp4 crf32.mp4 crf38.mp4 -- $refs >>rd_times
    cpu=0
    wall=0
    for crf in $crfs; do
        # shellcheck disable=SC2086
        set -- $(timed "$cli" diff --profile "$profile" --threads 1 --quiet \
            --reference $refs --degraded "crf$crf.mp4")
        cpu=$(echo "$cpu + $1" | bc)
        wall=$(echo "$wall + $2" | bc)
    done
    echo "$cpu $wall" >>diff_times
    echo "round $i: rd $(tail -1 rd_times | tr ' ' /) s, four diffs $cpu/$wall s (CPU/wall)"
    i=$((i + 1))
done
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
rd_cpu=$(cut -d' ' -f1 rd_times | median)
diff_cpu=$(cut -d' ' -f1 diff_times | median)
rd_wall=$(cut -d' ' -f2 rd_times | median)
diff_wall=$(cut -d' ' -f2 diff_times | median)
echo "median: rd $rd_cpu s CPU, $rd_wall s wall; four diffs $diff_cpu s CPU, $diff_wall s wall"
echo "ratio rd / four diffs: $(echo "scale=3; $rd_cpu / $diff_cpu" | bc) CPU," \
    "$(echo "scale=3; $rd_wall / $diff_wall" | bc) wall (target <= 0.75)"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
