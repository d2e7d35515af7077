#!/usr/bin/env bash
# Screenshots of both programs' real Win32 dialogs mid-run, under Wine and
# Xvfb, into docs/shellfit-win32.png and docs/imagefit-win32.png.
#
# shellfit runs "/force" from the demo device's storage card, imagefit gets
# START from the Return key; each is watched through FITKIT_TRACE=1 until its
# status line shows a copy or a download under way, then stopped (SIGSTOP)
# for the shot and let go again (SIGCONT).
# Usage: tools/screenshot-win32.sh   (after a native build and tools/build-win32.sh)
# BUILD_DIR and WIN32_BUILD_DIR name the build folders (./build, ./build-win32).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$repo/build}"
win_build="${WIN32_BUILD_DIR:-$repo/build-win32}"

if [ "${SCREENSHOT_INSIDE_X:-}" != 1 ]; then
  for tool in xvfb-run wine import xdotool; do
    command -v "$tool" >/dev/null || { echo "screenshot-win32: $tool is missing" >&2; exit 77; }
  done
  export SCREENSHOT_INSIDE_X=1
  exec xvfb-run -a -n $((4000 + $$ % 800)) -s "-screen 0 480x272x24" bash "$0"
fi

trap 'echo "screenshot-win32: failed at line $LINENO" >&2' ERR
work="$win_build/screenshots"
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot -i >/dev/null 2>&1
MAKE_BIN_IMAGE="$build/tools/make-bin-image" NK_SIZE=$((16 * 1024 * 1024)) \
  bash "$repo/tools/make-demo-device.sh" "$work/device" >/dev/null
# A bigger entry half-way through the package, so that its copy lasts long
# enough to be photographed with the bar half-way.
mkdir -p "$work/pkg/Res"
head -c $((8 * 1024 * 1024)) /dev/urandom >"$work/pkg/Res/icons.bin"
(cd "$work/pkg" && zip -q -u -P .TORVA. "$work/device/fs/Storage Card/KTR 60 SHELL.ZIP" Res/icons.bin)
cp "$win_build/shellfit/shellfit.exe" "$win_build/imagefit/imagefit.exe" "$work/device/fs/Storage Card/"
root="Z:${work//\//\\}\\device"

# shoot <png> <program> <status text to wait for> <press Return?> [args...]
shoot() {
  local png=$1 program=$2 wanted=$3 press=$4
  shift 4
  rm -f "$work/trace"
  mkfifo "$work/trace"
  FITKIT_DEVICE="$root" FITKIT_TRACE=1 wine "$work/device/fs/Storage Card/$program" "$@" \
    2>"$work/trace" >/dev/null </dev/null &
  local pid=$!
  local taken=0
  while IFS= read -r line; do
    case "$line" in
      *'ShowWindow(SW_SHOW)'*)
        if [ "$press" = yes ]; then (sleep 1; xdotool key Return) & fi ;;
      *"SetItemText(1005, \"$wanted\")"*)
        # A second for the dialog to paint it (the trace pipe fills up
        # meanwhile and holds the program at that point).
        if [ $taken = 0 ]; then
          sleep 1; kill -STOP "$pid"; sleep 0.3
          import -window root "$png"
          kill -CONT "$pid"; taken=1
        fi ;;
    esac
  done <"$work/trace"
  wait "$pid" || true
  [ $taken = 1 ] || { echo "screenshot-win32: $program never showed '$wanted'" >&2; exit 1; }
  echo "screenshot saved to $png"
}

shoot "$repo/docs/shellfit-win32.png" shellfit.exe 'Copying... Res\icons.bin' no /force
shoot "$repo/docs/imagefit-win32.png" imagefit.exe 'Downloading...  nk.bin' yes '\Storage Card\Update'
