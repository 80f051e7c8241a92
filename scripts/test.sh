#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the release build (warnings as
# errors), then the same suite under address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --tests
source scripts/compiler-cache.sh

# The folders include and link only the layers below them (before anything is built).
scripts/check-layers.py
# Every C++ source matches the project's .clang-format.
scripts/check-format.sh

export QT_QPA_PLATFORM=offscreen

cmake -S . -B build/release -G Ninja -DORV_WERROR=ON -DORV_BUILD_BENCH=ON > /dev/null
cmake --build build/release -j2
ctest --test-dir build/release -j2 --output-on-failure

# Installed into a temporary prefix and packaged as a .deb; both are checked and the package's
# file list is shown.
scripts/check-install.sh build/release

# A short run of every fuzz target (clang, libFuzzer, sanitizers); longer runs: scripts/fuzz.sh N.
scripts/fuzz.sh 30

cmake -S . -B build/asan -G Ninja -DORV_WERROR=ON -DORV_SANITIZE=ON > /dev/null
cmake --build build/asan -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan -j2 --output-on-failure
