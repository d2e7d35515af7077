#!/usr/bin/env bash
# Cross-builds the two programs for Windows (x86_64, mingw-w64, static) into
# build-win32/ (or $WIN32_BUILD_DIR): host/win32/ and ui/win32/ in place of
# host/linux/ and FLTK, the upper layers unchanged. Skips, saying so, where
# the cross compiler is missing.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${WIN32_BUILD_DIR:-$repo/build-win32}"
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  echo "build-win32: x86_64-w64-mingw32-g++-posix is missing (tools/install-deps.sh); not built" >&2
  exit 0
fi
cmake -S "$repo" -B "$build" -G Ninja -DFITKIT_HOST=win32 -DFITKIT_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j2 --target shellfit imagefit
