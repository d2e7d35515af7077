#!/usr/bin/env bash
# Takes a picture of imagefit's dialog drawn on a terminal while it sends
# nk.bin: the program runs in a 100 x 30 tmux pane on a demo device with a
# 64 MB kernel image, START is pressed with Enter, and once the pane shows
# nk.bin with the bar past a third the program is stopped (SIGSTOP), the pane
# captured as text and the program let go again (SIGCONT). The text is then
# rendered to PNG in DejaVu Sans Mono with ImageMagick.
# Usage: tools/screenshot-terminal.sh [output.png]   (default docs/terminal.png)
# BUILD_DIR names the build folder (default ./build). The text capture is kept
# beside the picture as <output>.txt when KEEP_TEXT=1.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$repo/build}"
output="$(realpath -m "${1:-$repo/docs/terminal.png}")"
for tool in tmux convert; do
  command -v "$tool" >/dev/null || { echo "screenshot-terminal: $tool is missing" >&2; exit 77; }
done

work="$(mktemp -d)"
tmux=(tmux -f /dev/null -S "$work/tmux")  # a private server, gone with $work
cleanup() {
  "${tmux[@]}" kill-server 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
MAKE_BIN_IMAGE="$build/tools/make-bin-image" NK_SIZE=$((64 * 1024 * 1024)) \
  bash "$repo/tools/make-demo-device.sh" "$work/device" >/dev/null

printf -v program 'echo $$ >%q; exec env FITKIT_UI=console FITKIT_DEVICE=%q %q %q' \
  "$work/pid" "$work/device" "$build/imagefit/imagefit" '\Storage Card\Update'
"${tmux[@]}" new-session -d -s shot -x 100 -y 30 "sh -c $(printf %q "$program"); sleep 600"

# Polls the pane (every 0.05 s, at most about 30 s) until it matches a pattern.
wait_for() {
  for _ in $(seq 1 600); do
    pane="$("${tmux[@]}" capture-pane -p -t shot)"
    [[ "$pane" =~ $1 ]] && return 0
    sleep 0.05
  done
  echo "screenshot-terminal: the pane never showed /$1/" >&2
  "${tmux[@]}" capture-pane -p -t shot >&2
  exit 1
}

wait_for '< +START +>'
"${tmux[@]}" send-keys -t shot Enter
wait_for 'nk\.bin'
wait_for '\] [3-8][0-9]%'
pid="$(cat "$work/pid")"
kill -STOP "$pid"
sleep 0.3
"${tmux[@]}" capture-pane -p -t shot >"$work/pane.txt"
kill -CONT "$pid"

# The drawn part of the pane, without the blank rows and columns around it.
# ImageMagick's -annotate reads % and \ as escapes; the rest is taken as it is.
text="$(awk '
  { line[NR] = $0; sub(/ +$/, "", line[NR]) }
  line[NR] != "" { if (!first) first = NR; last = NR
                   match(line[NR], /^ */); if (indent == "" || RLENGTH < indent) indent = RLENGTH }
  END { for (i = first; i <= last; i++) print substr(line[i], indent + 1) }' "$work/pane.txt" |
  sed -e 's/\\/\\\\/g' -e 's/%/%%/g')"
# A canvas larger than any pane, the text drawn on it, then cut to the text.
convert -size 1200x700 xc:'#1d1f21' -font DejaVu-Sans-Mono -pointsize 14 -fill "#d8dee9" -interline-spacing -1 \
  -annotate +16+24 "$text" -trim +repage -bordercolor '#1d1f21' -border 14 "$output"
if [ "${KEEP_TEXT:-}" = 1 ]; then cp "$work/pane.txt" "$output.txt"; fi
echo "screenshot saved to $output"
