#!/usr/bin/env bash
# Installs the Debian packages ORV needs that this machine lacks; installs nothing when all
# are present. Usage: scripts/install-deps.sh [--tests]
set -euo pipefail

# dpkg-dev (dpkg-shlibdeps) and file serve `cpack -G DEB`, which finds the package's
# dependencies from the programs' shared libraries.
packages=(g++ cmake ninja-build pkg-config ccache libgtest-dev libcli11-dev
          qt6-base-dev qt6-qpa-plugins qt6-translations-l10n fonts-ipafont-gothic
          dpkg-dev file
          libavformat-dev libavcodec-dev libavutil-dev libswscale-dev nlohmann-json3-dev libpng-dev
          python3-dev python3-numpy pybind11-dev python3-dask python3-distributed)
if [[ "${1:-}" == "--tests" ]]; then
    packages+=(libbenchmark-dev libfftw3-dev clang clang-format libclang-rt-14-dev
               python3 desktop-file-utils python3-pytest locales-all python3-jsonschema chromium)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing: ${missing[*]}"
# sudo drops most of the environment, so the front-end setting goes through env.
as_root=(env DEBIAN_FRONTEND=noninteractive)
if [[ $(id -u) -ne 0 ]]; then as_root=(sudo "${as_root[@]}"); fi
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
