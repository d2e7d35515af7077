#!/usr/bin/env bash
# tools/check-layers.sh over the tree, and over a copy of the upper layers
# with one include of each kind that breaks the rule: it must name exactly
# those.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
check="$source_dir/tools/check-layers.sh"
bash "$check" "$source_dir"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r "$source_dir"/{frame,zipreader,signature,shellfit,imagefit} "$scratch"
printf '#include "host/root_files.h"\n' >>"$scratch/frame/startup.cpp"
printf '#  include <device/device.h>\n' >>"$scratch/zipreader/zip_reader.h"
printf '#include "missing_neighbour.h"\n' >>"$scratch/imagefit/image_files.cpp"
printf '#include "device/device.h"\n' >>"$scratch/shellfit/main.cpp"
if bash "$check" "$scratch" >"$scratch/out"; then
  echo "FAILED: the broken includes were not seen" >&2
  exit 1
fi
cat "$scratch/out"
[[ $(wc -l <"$scratch/out") -eq 3 ]] || { echo "FAILED: expected three lines" >&2; exit 1; }
for file in frame/startup.cpp zipreader/zip_reader.h imagefit/image_files.cpp; do
  grep -q "^$file:" "$scratch/out" || { echo "FAILED: $file not named" >&2; exit 1; }
done
