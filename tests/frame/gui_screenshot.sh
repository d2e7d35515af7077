#!/usr/bin/env bash
# Runs under xvfb-run: starts a program with the window dialog host, waits for
# a trace line, reports the window's geometry, saves a screenshot while the
# program is stopped, then clicks a point and reports the exit code.
# Usage: gui_screenshot.sh <program> <device root> <png> <trace text> <click x> <click y> [args...]
set -u
program=$1 device=$2 png=$3 wait_for=$4 click_x=$5 click_y=$6
shift 6
err=$(mktemp)
FITKIT_UI=gui FITKIT_TRACE=1 FITKIT_DEVICE="$device" "$program" "$@" </dev/null 2>"$err" &
pid=$!
for _ in $(seq 100); do
  grep -qF -- "$wait_for" "$err" && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -qF -- "$wait_for" "$err"; then
  echo "never traced: $wait_for"
  cat "$err"
  kill "$pid" 2>/dev/null
  exit 1
fi
xwininfo -root -tree | grep -E '^ +0x' | sed 's/^ */window: /'
kill -STOP "$pid"
import -window root "$png"
kill -CONT "$pid"
xdotool mousemove "$click_x" "$click_y" click 1
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill "$pid" 2>/dev/null
wait "$pid"
echo "exit=$?"
rm -f "$err"
