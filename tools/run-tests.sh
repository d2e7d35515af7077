#!/usr/bin/env bash
# Installs the dependencies, builds everything (the Win32 programs too) and
# runs every test; the Win32 ones run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DFITKIT_TESTS=ON -DFITKIT_WERROR=ON >/dev/null
cmake --build build -j2
bash tools/build-win32.sh
status=0
ctest --test-dir build --output-on-failure -j2 || status=$?
# ctest names the tests it skipped but not why; their own output says it.
log=build/Testing/Temporary/LastTest.log
if grep -q '^\[  SKIPPED \]' "$log" 2>/dev/null; then
  echo "Skipped, and why:"
  awk '/^[0-9]+\/[0-9]+ Testing: / { name = $3 }
       prev ~ /: Skipped$/ { print "  " name ": " $0 }
       { prev = $0 }' "$log"
fi
exit "$status"
