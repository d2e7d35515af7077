#!/usr/bin/env bash
# Streams image sets with 16, 64 and 256 MB kernels through the simulated
# flash update driver and compares each with `cp` of the same files in the
# same file system; peak RSS shows that memory follows the largest record,
# not the image. Usage: tools/bench-image.sh [work folder]   (BUILD_DIR, default ./build)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$repo/build}"
work="${1:-${TMPDIR:-/tmp}}"
if [ ! -x "$build/bench/image_stream_bench" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DFITKIT_BENCH=ON >/dev/null
  cmake --build "$build" -j2 --target image_stream_bench >/dev/null
fi
for size in 16 64 256; do
  "$build/bench/image_stream_bench" "$size" "$work" 5
  echo
done
