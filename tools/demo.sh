#!/usr/bin/env bash
# Installs, builds, creates the demo device and runs the kit's main job on it:
# shellfit installs the packaged shell, imagefit programs the image set.
# With a display (or under xvfb-run) the dialogs are real windows; otherwise
# they are drawn on the console.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
echo "== building (a few minutes the first time; ninja counts the steps)"
cmake -S . -B build -G Ninja -DFITKIT_TESTS=OFF -DFITKIT_BENCH=OFF >/dev/null
cmake --build build -j2 | grep --line-buffered -E '^\[[0-9]+/[0-9]+\]|error|warning' |
  awk '{ printf "\r%-78.78s", $0; fflush() } END { print "" }'
[ -x build/fitkit/fitkit ] || { echo "the build failed" >&2; exit 1; }
device="${1:-$PWD/demo-device}"
rm -rf "$device"
bash tools/make-demo-device.sh "$device"
export FITKIT_DEVICE="$device"

echo "== fitkit check of the package against the device"
build/fitkit/fitkit check "$device/fs/Storage Card/KTR 60 SHELL.ZIP" --device "$device"
echo "== Flash Disk before the update"
(cd "$device/fs/Flash Disk" && find . -type f | sort)
# shellfit takes its package from its own folder: run it from the storage card.
cp build/shellfit/shellfit "$device/fs/Storage Card/shellfit.exe"
echo "== shellfit /force on $device"
set +e
FITKIT_REPORT="$device/shellfit-report.json" "$device/fs/Storage Card/shellfit.exe" /force </dev/null
status=$?
set -e
# shellfit's exit code is the device's (1 after every START run); its last
# line on stderr, above, says what happened.
echo "shellfit ended with exit code $status (1: a START run, as on the device)"
echo "== Flash Disk after the update"
(cd "$device/fs/Flash Disk" && find . -type f | sort)

echo "== fitkit inspect of the image set"
build/fitkit/fitkit inspect "$device/fs/Storage Card/Update"
echo "== imagefit on $device"
set +e
if [ -n "${DISPLAY:-}" ] && [ "${FITKIT_UI:-gui}" != console ] && command -v xdotool >/dev/null; then
  # A window and nobody at it: press START (Return, the default button) until
  # the run has begun, which the first driver call in the journal shows.
  FITKIT_REPORT="$device/imagefit-report.json" build/imagefit/imagefit "\\Storage Card\\Update" &
  pid=$!
  for _ in $(seq 1 40); do
    sleep 0.5
    [ -s "$device/journal.log" ] || ! kill -0 "$pid" 2>/dev/null && break
    xdotool key Return >/dev/null 2>&1
  done
  wait "$pid"
else
  printf 'start\n' |
    FITKIT_REPORT="$device/imagefit-report.json" build/imagefit/imagefit "\\Storage Card\\Update"
fi
status=$?
set -e
echo "imagefit ended with exit code $status (1: a finished run, as on the device)"
if [ -f "$device/journal.log" ]; then
  echo "== journal.log ($(wc -l <"$device/journal.log") calls; runs of the same call folded)"
  awk '{ key = $1 " " $2 " " $5 }
       key != prev { if (n) print first (n > 1 ? "  ... x" n : ""); prev = key; first = $0; n = 0 }
       { n++ }
       END { if (n) print first (n > 1 ? "  ... x" n : "") }' "$device/journal.log"
fi
if [ -d "$device/flash" ]; then
  echo "== flash/"
  ls -l "$device/flash"
fi

# The one line that says whether it all worked, from the programs' own reports.
outcome() {  # report file -> its "outcome"
  sed -n 's/^ *"outcome": *"\([^"]*\)".*/\1/p' "$1" 2>/dev/null | head -n 1
}
shell=$(outcome "$device/shellfit-report.json")
image=$(outcome "$device/imagefit-report.json")
if [ "$shell" = installed ] && [ "$image" = restarted ]; then
  echo "== The demo worked: shellfit installed the shell and imagefit programmed the images" \
    "and restarted the device ($device)."
else
  echo "== The demo did not work: shellfit ${shell:-left no report}, imagefit" \
    "${image:-left no report} (the reports are in $device)." >&2
  exit 1
fi
