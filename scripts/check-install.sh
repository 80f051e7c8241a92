#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and packages it as a .deb, then checks both:
# the programs, the default profile folder and the desktop entry are where they belong, the
# installed orv-cli measures the bundled samples with the installed profile, and the package
# holds exactly the files the install puts under the prefix. Prints the package's file list.
# Usage: scripts/check-install.sh [BUILD_FOLDER]       (default build/release, already built)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
build="${1:-build/release}"

# Files every install must hold, relative to the prefix (the profile folder's files are
# taken from profiles/default/). Add new installed files here.
expected=(
    bin/orv
    bin/orv-cli
    bin/orv-encoder
    share/applications/orv.desktop
    share/icons/hicolor/scalable/apps/orv.svg
    share/doc/orv/copyright
    lib/python3/dist-packages/orv/__init__.py
)
# Every file of the default profile folder, its subfolders (h264/) included.
while IFS= read -r f; do expected+=("share/orv/profiles/default/${f#./}"); done \
    < <(cd profiles/default && find . -type f | sort)
programs=(bin/orv bin/orv-cli)

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

# A desktop entry's KEY=VALUE in the [Desktop Entry] group.
entry() { sed -n "s/^$2=//p" "$1" | head -n 1; }

# Checks the desktop entry FILE names the program and profile folder under PREFIX.
check_desktop_entry() {
    local file="$1" prefix="$2"
    [[ "$(entry "$file" Exec)" == "$prefix/bin/orv" ]] || fail "$file: Exec is not $prefix/bin/orv"
    [[ "$(entry "$file" Path)" == "$prefix/share/orv/profiles/default" ]] ||
        fail "$file: Path is not the installed profile folder $prefix/share/orv/profiles/default"
    [[ "$(entry "$file" Categories)" == "Graphics;Science;" ]] || fail "$file: Categories"
    [[ -n "$(entry "$file" 'Name\[ja\]')" && -n "$(entry "$file" Name)" ]] ||
        fail "$file: no English or Japanese name"
    if command -v desktop-file-validate > /dev/null; then
        desktop-file-validate --no-hints "$file" || fail "$file is not a valid desktop entry"
    fi
}

# The install tree.
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" > /dev/null
for f in "${expected[@]}"; do [[ -f "$prefix/$f" ]] || fail "the install lacks $f"; done
for p in "${programs[@]}"; do [[ -x "$prefix/$p" ]] || fail "$p is not executable"; done
check_desktop_entry "$prefix/share/applications/orv.desktop" "$prefix"

# The installed batch tool measures the bundled samples with the installed profile folder.
"$prefix/bin/orv-cli" diff --profile "$prefix/share/orv/profiles/default" --threads 1 \
    --reference "$root"/samples/reference_*.bmp --degraded "$root"/samples/reference_*.bmp \
    --csv "$scratch/table.csv" > /dev/null
rows=$(($(wc -l < "$scratch/table.csv") - 1))
samples=("$root"/samples/reference_*.bmp)
((rows == ${#samples[@]})) || fail "the installed orv-cli measured $rows of ${#samples[@]} samples"

# The package: built afresh, holding exactly the install tree under /usr.
rm -f "$build"/orv_*.deb
(cd "$build" && cpack -G DEB > "$scratch/cpack.log") || { cat "$scratch/cpack.log"; fail "cpack failed"; }
debs=("$build"/orv_*.deb)
deb="${debs[0]}"
[[ -f "$deb" ]] || fail "cpack made no orv_*.deb in $build"
echo "$deb:"
dpkg-deb -f "$deb" Package Version Depends Recommends
dpkg-deb -c "$deb"
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "the package does not declare Qt"

dpkg -x "$deb" "$scratch/deb"
diff <(cd "$prefix" && find . -type f | sort) <(cd "$scratch/deb/usr" && find . -type f | sort) ||
    fail "the package's files differ from the install tree's"
check_desktop_entry "$scratch/deb/usr/share/applications/orv.desktop" /usr
echo "check-install: install tree and $deb checked"
