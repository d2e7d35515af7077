#!/usr/bin/env bash
# Times shellfit on a package of many small files against unzip, and counts
# the system calls per file written with strace -c -f.
#
#   bench/one_folder_bench.sh [--shellfit BIN] [--files N] [--folders F]
#                             [--repeats R] [--no-strace] [--work DIR]
#
# Default: 20,000 files of 0-50 bytes in ONE folder. --folders 200 spreads
# them over 200 folders instead (then 0.2-4 KB each, as the small-files
# package). Every run starts on a fresh device root: console dialog, package
# in the storage card, `shellfit /force`. The peer is `unzip -t` then
# `unzip -o` of the same package into the same file system.
# Output: one "name value" line per number, then a summary line.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
shellfit="$here/build/shellfit/shellfit"
files=20000
folders=1
repeats=3
trace=1
work=""
while [ $# -gt 0 ]; do
  case "$1" in
    --shellfit) shellfit=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --folders) folders=$2; shift 2 ;;
    --repeats) repeats=$2; shift 2 ;;
    --no-strace) trace=0; shift ;;
    --work) work=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
[ -x "$shellfit" ] || { echo "no shellfit at $shellfit (build it first)" >&2; exit 2; }
for tool in zip unzip python3 bc /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done
if [ "$trace" = 1 ] && ! command -v strace >/dev/null; then
  echo "strace missing: counting skipped" >&2
  trace=0
fi

if [ -z "$work" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/fitkit-onefolder-XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi
package="$work/KTR 60 SHELL.ZIP"

# The package: names spread evenly, sizes from a fixed seed.
make_package() {
  rm -rf "$work/stage" && mkdir -p "$work/stage"
  python3 - "$work/stage" "$files" "$folders" <<'EOF'
import os, random, sys
stage, files, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(11)
low, high = (0, 50) if folders == 1 else (200, 4096)
for i in range(files):
    folder = stage if folders == 1 else os.path.join(stage, "dir%03d" % (i % folders))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "file%05d.txt" % i), "wb") as out:
        out.write(rng.randbytes(rng.randint(low, high)))
EOF
  rm -f "$package"
  (cd "$work/stage" && TZ=UTC zip -q -r -X -P .TORVA. "$package" .)
}

fresh_root() {
  local root=$1
  rm -rf "$root"
  mkdir -p "$root/fs/Flash Disk" "$root/fs/Storage Card" "$root/fs/Windows"
  printf '[screen]\nwidth = 480\nheight = 272\nscroll = 13\n' >"$root/device.ini"
  printf '%s\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_LOCAL_MACHINE\Ident]' '"Model"="KTR 60"' '' \
    '[HKEY_LOCAL_MACHINE\System\StorageManager\Profiles\FlashDrv]' \
    '"Folder"="Flash Disk"' >"$root/registry.reg"
  cp "$package" "$root/fs/Storage Card/"
  cp "$shellfit" "$root/fs/Storage Card/shellfit.exe"
  # The removal of the last run's 20,000 files must not be charged to the next.
  sync
}

now() { date +%s.%N; }

run_shellfit() {  # $1 root, rest: a prefix command (strace)
  local root=$1; shift
  FITKIT_UI=console FITKIT_DEVICE="$root" "$@" "$root/fs/Storage Card/shellfit.exe" /force \
    </dev/null >"$work/shellfit.out" 2>&1 || true
  grep -q "progress: $files/$files" "$work/shellfit.out" ||
    { echo "shellfit did not write every file:" >&2; tail -5 "$work/shellfit.out" >&2; exit 1; }
}

run_unzip() {  # $1 root, rest: a prefix command
  local root=$1; shift
  "$@" unzip -qq -t -P .TORVA. "$root/fs/Storage Card/KTR 60 SHELL.ZIP" >/dev/null
  "$@" unzip -qq -o -P .TORVA. "$root/fs/Storage Card/KTR 60 SHELL.ZIP" \
    -d "$root/fs/Flash Disk" >/dev/null
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Total calls of an `strace -c` summary (columns: % time, seconds,
# usecs/call, calls, [errors], syscall).
strace_total() { awk '$NF == "total" { print $4 }' "$1"; }

# A package made before with the same counts is used again.
if [ "$(cat "$work/package.counts" 2>/dev/null)" != "$files $folders" ] || [ ! -f "$package" ]; then
  make_package
  echo "$files $folders" >"$work/package.counts"
fi
shellfit_times=() unzip_times=() shellfit_rss=()
for ((r = 0; r < repeats; r++)); do
  fresh_root "$work/root"
  start=$(now); run_shellfit "$work/root" /usr/bin/time -f %M -o "$work/rss.txt"; end=$(now)
  shellfit_times+=("$(echo "$end - $start" | bc)")
  shellfit_rss+=("$(tail -1 "$work/rss.txt")")
  fresh_root "$work/root"
  start=$(now); run_unzip "$work/root"; end=$(now)
  unzip_times+=("$(echo "$end - $start" | bc)")
done
shellfit_s=$(printf '%s\n' "${shellfit_times[@]}" | median)
unzip_s=$(printf '%s\n' "${unzip_times[@]}" | median)
echo "files $files"
echo "folders $folders"
echo "shellfit_seconds $shellfit_s (runs: ${shellfit_times[*]})"
echo "unzip_test_extract_seconds $unzip_s (runs: ${unzip_times[*]})"
echo "ratio $(echo "scale=2; $shellfit_s / $unzip_s" | bc)"
echo "shellfit_peak_rss_kb $(printf '%s\n' "${shellfit_rss[@]}" | sort -n | tail -1)"

if [ "$trace" = 1 ]; then
  fresh_root "$work/root"
  run_shellfit "$work/root" strace -c -f -o "$work/shellfit.strace"
  fresh_root "$work/root"
  strace -c -f -o "$work/unzip.strace" \
    unzip -qq -o -P .TORVA. "$work/root/fs/Storage Card/KTR 60 SHELL.ZIP" \
    -d "$work/root/fs/Flash Disk" >/dev/null
  shellfit_calls=$(strace_total "$work/shellfit.strace")
  unzip_calls=$(strace_total "$work/unzip.strace")
  echo "shellfit_syscalls $shellfit_calls"
  echo "shellfit_syscalls_per_file $(echo "scale=1; $shellfit_calls / $files" | bc)"
  echo "unzip_o_syscalls $unzip_calls"
  echo "unzip_o_syscalls_per_file $(echo "scale=1; $unzip_calls / $files" | bc)"
  echo "shellfit calls per file, by kind:"
  awk -v n="$files" 'NF >= 5 && $1 ~ /^[0-9.]+$/ && $NF != "total" {
      printf "  %-16s %6.2f\n", $NF, $4 / n }' \
    "$work/shellfit.strace" | sort -k2 -g -r | head -12
fi
