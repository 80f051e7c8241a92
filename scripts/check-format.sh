#!/usr/bin/env bash
# Every C++ source of the repository matches the project's .clang-format; lists those that do
# not and fails. `clang-format -i FILE` mends one.
set -euo pipefail
cd "$(dirname "$0")/.."
unformatted=()
while IFS= read -r file; do
    clang-format --dry-run --Werror "$file" > /dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files '*.cpp' '*.h' 2> /dev/null || find . -name '*.cpp' -o -name '*.h')
if ((${#unformatted[@]} > 0)); then
    echo "Not formatted with .clang-format (run clang-format -i on them):"
    printf '  %s\n' "${unformatted[@]}"
    exit 1
fi
