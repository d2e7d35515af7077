#!/usr/bin/env bash
# Takes a screenshot of shellfit's window while it copies the demo package,
# under Xvfb: the program runs "/force" from the demo device's storage card
# with FITKIT_UI=gui and FITKIT_TRACE=1; at the second "Copying..." status the
# first one is on the screen, so the program is stopped (SIGSTOP) for the
# shot and let go again (SIGCONT).
# Usage: tools/screenshot-shellfit.sh [output.png]   (default docs/shellfit.png)
# BUILD_DIR names the build folder (default ./build).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$repo/build}"
output="$(realpath -m "${1:-$repo/docs/shellfit.png}")"

command -v xvfb-run >/dev/null || { echo "screenshot-shellfit: xvfb-run is missing" >&2; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
MAKE_BIN_IMAGE="$build/tools/make-bin-image" bash "$repo/tools/make-demo-device.sh" "$work/device" >/dev/null
cp "$build/shellfit/shellfit" "$work/device/fs/Storage Card/shellfit.exe"

status=0
xvfb-run -a -n $((3000 + $$ % 800)) -s "-screen 0 480x272x24" \
  bash "$repo/tests/shellfit/gui_screenshot.sh" "$work/device/fs/Storage Card/shellfit.exe" \
  "$work/device" "$output" || status=$?
if [ ! -s "$output" ]; then
  echo "screenshot-shellfit: no screenshot (exit $status)" >&2
  exit 1
fi
echo "screenshot saved to $output"
