#!/bin/sh
# The GUI's workflow on FRAMES generated frames of WIDTH x HEIGHT (default: 1000 full-HD
# frames), headless: prints the time of each step and the peak resident memory after it.
# The frame store's temporary files go to WORK (default: a fresh folder under /var/tmp) and
# need about 41 MB per full-HD frame of free disk; they are gone when the program ends.
#
#   bench/gui_workflow.sh [FRAMES [WIDTH HEIGHT [WORK]]]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/release"
frames=${1:-1000}
width=${2:-1920}
height=${3:-1080}
work=${4:-$(mktemp -d /var/tmp/orv-workflow.XXXXXX)}
cmake --build "$build" --target gui_workflow >/dev/null
# The filter trace of the kernel files goes to standard output; only the figures are kept.
"$build/bench/gui_workflow" "$frames" "$width" "$height" "$root/profiles/default" "$work" |
    grep -v -e '^Filter' -e '^[A-Z][a-z-]*	' -e '^spread' -e '^Weight' -e '^Vari' \
        -e '^Adjust' -e '^Max spread' -e '^[[:space:]]*[-0-9]'
rm -rf "$work"
