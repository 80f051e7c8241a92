#!/usr/bin/env bash
# Installs the Debian packages ORV needs that this machine lacks; installs nothing when all
# are present. Usage: scripts/install-deps.sh [--tests]
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libgtest-dev libcli11-dev
          qt6-base-dev qt6-translations-l10n fonts-ipafont-gothic)
if [[ "${1:-}" == "--tests" ]]; then
    packages+=(libbenchmark-dev libfftw3-dev clang libclang-rt-14-dev)
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
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
