#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each for a number of seconds,
# starting from its seed files in tests/fuzz/corpus/<name without fuzz_>/ (inputs it finds
# go to build/fuzz/corpus/, crashes to build/fuzz/artifacts/).
# Usage: scripts/fuzz.sh [seconds per target, default 30] [target ...]  (default: every target)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
shift || true

scripts/install-deps.sh --tests
source scripts/compiler-cache.sh

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORV_BUILD_FUZZ=ON -DORV_SANITIZE=ON -DORV_BUILD_GUI=OFF > /dev/null
cmake --build build/fuzz --target orv_fuzz -j2

if (($# > 0)); then
    targets=("$@")
else
    mapfile -t targets < build/fuzz/tests/fuzz/fuzz_targets.txt
fi

mkdir -p build/fuzz/artifacts build/fuzz/logs
failed=()
for target in "${targets[@]}"; do
    [[ -n "$target" ]] || continue
    seeds="tests/fuzz/corpus/${target#fuzz_}"
    found="build/fuzz/corpus/${target#fuzz_}"
    mkdir -p "$found"
    corpora=("$found")
    if [[ -d "$seeds" ]]; then corpora+=("$seeds"); fi
    log="build/fuzz/logs/$target.log"
    echo "== $target: ${seconds}s (log: $log)"
    if UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="build/fuzz/artifacts/$target-" "${corpora[@]}" > "$log" 2>&1; then
        # The last status line (coverage, corpus) and the final statistics.
        grep -E '^#[0-9]+' "$log" | tail -n 1 || true
        grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
    else
        failed+=("$target")
        tail -n 60 "$log"
    fi
done

# Every target runs even when an earlier one found a crash; the status tells whether any did.
if ((${#failed[@]} > 0)); then
    echo "Findings (see build/fuzz/artifacts/): ${failed[*]}" >&2
    exit 1
fi
