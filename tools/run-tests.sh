#!/usr/bin/env bash
# Installs the dependencies, builds everything (the Win32 programs too) and
# runs every test; the Win32 ones run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DFITKIT_TESTS=ON -DFITKIT_WERROR=ON >/dev/null
cmake --build build -j2
bash tools/build-win32.sh
ctest --test-dir build --output-on-failure -j2
