#!/usr/bin/env bash
# Every C and C++ file of the tree as .clang-format lays it out: prints the
# files that differ and exits 1 when there is one. `tools/check-format.sh -i`
# lays them out instead.
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format)
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [[ ${1:-} == -i ]]; then
  "$format" -i "${files[@]}"
  exit 0
fi
differing=()
for file in "${files[@]}"; do
  "$format" --dry-run --Werror "$file" >/dev/null 2>&1 || differing+=("$file")
done
if ((${#differing[@]})); then
  printf 'not laid out as .clang-format says (tools/check-format.sh -i mends it):\n'
  printf '  %s\n' "${differing[@]}"
  exit 1
fi
echo "all ${#files[@]} files laid out as .clang-format says"
