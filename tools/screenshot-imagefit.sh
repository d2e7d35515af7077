#!/usr/bin/env bash
# Takes a screenshot of imagefit's window while it sends nk.bin, under Xvfb:
# a demo device with a 64 MB kernel image, the program run with FITKIT_UI=gui
# and FITKIT_TRACE=1, its trace watched until the status line reads
# "Downloading...  nk.bin" and the bar has moved on, then the program is
# stopped (SIGSTOP) for the shot and let go again (SIGCONT).
# Usage: tools/screenshot-imagefit.sh [output.png]   (default docs/imagefit.png)
# BUILD_DIR names the build folder (default ./build).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$repo/build}"
output="$(realpath -m "${1:-$repo/docs/imagefit.png}")"

if [ "${SCREENSHOT_INSIDE_X:-}" != 1 ]; then
  command -v xvfb-run >/dev/null || { echo "screenshot-imagefit: xvfb-run is missing" >&2; exit 77; }
  export SCREENSHOT_INSIDE_X=1
  # A server number of our own, so parallel runs do not race for the same one.
  exec xvfb-run -a -n $((2000 + $$ % 800)) -s "-screen 0 480x272x24" bash "$0" "$output"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
MAKE_BIN_IMAGE="$build/tools/make-bin-image" NK_SIZE=$((64 * 1024 * 1024)) \
  bash "$repo/tools/make-demo-device.sh" "$work/device" >/dev/null

# START, the default button, is pressed with Return once the window is there.
mkfifo "$work/trace"
FITKIT_DEVICE="$work/device" FITKIT_UI=gui FITKIT_TRACE=1 \
  "$build/imagefit/imagefit" '\Storage Card\Update' 2>"$work/trace" >/dev/null &
pid=$!

# Presses Return every half second until the run has begun (the buttons are
# disabled), in case the window did not have the focus yet.
press_start() {
  for _ in $(seq 1 40); do
    sleep 0.5
    [ -e "$work/started" ] && return 0
    xdotool key Return >/dev/null 2>&1 || true
  done
}

# A run that never gets going must not keep the caller waiting.
(
  exec >/dev/null 2>&1
  for _ in $(seq 1 240); do
    sleep 0.5
    kill -0 "$pid" || exit 0
  done
  kill -KILL "$pid"
) &

shot_taken=0
progress_after_nk=0
while IFS= read -r line; do
  case "$line" in
    *'ShowWindow(SW_SHOW)'*)
      press_start &
      ;;
    *'EnableItem(1, false)'*)
      touch "$work/started"
      ;;
    *'"Downloading...  nk.bin"'*)
      progress_after_nk=1
      ;;
    *SetProgressPos*)
      if [ "$progress_after_nk" -ge 1 ] && [ "$shot_taken" = 0 ]; then
        progress_after_nk=$((progress_after_nk + 1))
        if [ "$progress_after_nk" -gt 300 ]; then
          kill -STOP "$pid"
          sleep 0.2
          import -window root "$output"
          kill -CONT "$pid"
          shot_taken=1
        fi
      fi
      ;;
  esac
done <"$work/trace"
wait "$pid" || true
if [ "$shot_taken" != 1 ]; then
  echo "screenshot-imagefit: the run never reached nk.bin" >&2
  exit 1
fi
echo "screenshot saved to $output"
