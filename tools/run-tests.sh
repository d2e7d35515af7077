#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DFITKIT_TESTS=ON >/dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2
