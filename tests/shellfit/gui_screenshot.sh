#!/usr/bin/env bash
# Runs "shellfit /force" in a real window and photographs the screen while
# the status line reads "Copying...". Meant to run inside xvfb-run.
#
#   gui_screenshot.sh <shellfit> <device root> <out.png>
#
# The program is stopped (SIGSTOP) for the picture and continued afterwards;
# the script ends with the program's exit status.
set -euo pipefail
bin=$1 root=$2 png=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/trace"

FITKIT_UI=gui FITKIT_TRACE=1 FITKIT_DEVICE="$root" "$bin" /force 2>"$work/trace" </dev/null &
pid=$!

copying=0
while IFS= read -r line; do
  [[ $line == *'SetItemText(1005, "Copying...'* ]] || continue
  copying=$((copying + 1))
  # At the second entry the first one's status has been drawn for sure.
  if [[ $copying -eq 2 ]]; then
    kill -STOP "$pid"
    sleep 0.5
    import -window root "$png"
    echo "screenshot taken: $line"
    kill -CONT "$pid"
  fi
done <"$work/trace"

status=0
wait "$pid" || status=$?
exit "$status"
