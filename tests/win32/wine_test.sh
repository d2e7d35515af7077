#!/usr/bin/env bash
# Runs the Win32 programs under Wine next to the Linux ones on copies of the
# same device root and compares what they leave: imagefit's journal.log and
# flash/, shellfit's Flash Disk tree (names, bytes, read-only bits, times) for
# /force and /upgrade; then a second instance (exit 0), the other updater on
# the same device (exit 3), Cancel (exit 2), an
# incomplete image set (exit 255, no window), signed updates (a key in the
# registry: signed package and image set installed, tampered ones refused)
# and the host registry (FITKIT_REGISTRY=host after "wine regedit /S
# registry.reg").
#
#   wine_test.sh <shellfit> <imagefit> <make-bin-image> <win32 build folder>
#
# The WINEPREFIX is a fresh scratch folder under the Win32 build folder.
# Exit 0 when every case passes, 1 when one fails, 77 when it cannot run.
set -uo pipefail
linux_shellfit=$(realpath "$1") linux_imagefit=$(realpath "$2") make_bin_image=$(realpath "$3")
win_build=$(realpath -m "$4")
repo="$(cd "$(dirname "$0")/../.." && pwd)"
win_shellfit="$win_build/shellfit/shellfit.exe"
win_imagefit="$win_build/imagefit/imagefit.exe"

skip() { echo "SKIPPED: $*"; exit 77; }
command -v wine >/dev/null || skip "wine is not installed (tools/install-deps.sh installs wine64)"
[ -f "$win_shellfit" ] && [ -f "$win_imagefit" ] ||
  skip "no Win32 programs in $win_build (run tools/build-win32.sh)"

work="$win_build/wine-test"
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY FITKIT_DEVICE FITKIT_UI FITKIT_TRACE FITKIT_REGISTRY
trap 'wineserver -k 2>/dev/null; true' EXIT
wineboot -i >/dev/null 2>&1 || skip "wine cannot make a prefix in $WINEPREFIX"

failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# wait_for <pid> <seconds>: the process's exit status in $status; one that
# is still running then is killed (status "hung"), so no case can hang the suite.
wait_for() {
  local i
  for i in $(seq $(($2 * 10))); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$1" 2>/dev/null; then kill "$1"; wait "$1" 2>/dev/null; status=hung
  else wait "$1"; status=$?; fi
}

# The Windows form of a host path: Wine's Z: drive is the host's root.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# run_linux <root> <program> <input> [args...]: exit status in $status,
# output in <root>.out (console transcript) and <root>.err.
run_linux() {
  local root=$1 program=$2 input=$3
  shift 3
  printf '%b' "$input" | FITKIT_UI=console FITKIT_DEVICE="$root" "$program" "$@" \
    >"$root.out" 2>"$root.err"
  status=$?
}
run_win() {
  local root=$1 program=$2 input=$3
  shift 3
  printf '%b' "$input" | FITKIT_UI=console FITKIT_DEVICE="$(winpath "$root")" \
    wine "$program" "$@" >"$root.out" 2>"$root.err"
  status=$?
  sed -i 's/\r$//' "$root.out"
}

# One line per file below a folder: path, size, a write bit or not, mtime to
# the second, and a checksum of the bytes; folders by name.
tree_of() {
  (cd "$1" && find . -mindepth 1 -type d -printf 'dir %P\n' | LC_ALL=C sort
   find . -type f -printf '%P\n' | LC_ALL=C sort | while IFS= read -r f; do
     w=ro; [ -w "$f" ] && [ -n "$(find "$f" -perm /222)" ] && w=rw
     printf 'file %s %s %s %s %s\n' "$f" "$(stat -c %s "$f")" "$w" \
       "$(date -u -r "$f" +%FT%T)" "$(cksum <"$f" | cut -d' ' -f1)"
   done)
}

same_trees() {  # <label> <folder a> <folder b>
  if diff <(tree_of "$2") <(tree_of "$3") >"$work/tree.diff"; then
    pass "$1: same tree ($(tree_of "$2" | wc -l) entries)"
  else
    fail "$1: trees differ (< Linux, > Win32)"; cat "$work/tree.diff"
  fi
}

same_status() {  # <label> <linux status> <win status> <expected>
  if [ "$2" = "$4" ] && [ "$3" = "$4" ]; then pass "$1: exit $4 on both"
  else fail "$1: exit Linux $2, Win32 $3, expected $4"; fi
}

# --- static linking: the programs need no DLL beyond Windows' own ------------
# (WS2_32.DLL, Winsock, comes with every Windows: static libgcrypt calls it.)
if command -v x86_64-w64-mingw32-objdump >/dev/null; then
  for exe in "$win_shellfit" "$win_imagefit"; do
    foreign=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr a-z A-Z |
              grep -vxE 'KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMCTL32.DLL|ADVAPI32.DLL|SHELL32.DLL|VERSION.DLL|MSVCRT.DLL|WS2_32.DLL')
    [ -z "$foreign" ] && pass "$(basename "$exe") imports Windows' own DLLs only" ||
      fail "$(basename "$exe") imports $foreign"
  done
fi

# --- the device roots -------------------------------------------------------
template="$work/template"
NK_SIZE=1048576 MAKE_BIN_IMAGE="$make_bin_image" bash "$repo/tools/make-demo-device.sh" \
  "$template" >/dev/null 2>"$work/template.err"
[ -f "$template/fs/Storage Card/KTR 60 SHELL.ZIP" ] && [ -f "$template/fs/Storage Card/Update/nk.bin" ] ||
  { cat "$work/template.err"; fail "the demo device could not be made"; exit 1; }
# Read-only files both ways: an old one on the flash drive that the forced
# delete must clear first, and a new one in the package.
printf 'locked\r\n' >"$template/fs/Flash Disk/Res/locked.txt"
chmod a-w "$template/fs/Flash Disk/Res/locked.txt"
mkdir -p "$work/pkg/Res"
printf 'read me\r\n' >"$work/pkg/Res/readme.txt"
chmod a-w "$work/pkg/Res/readme.txt"
touch -d '2024-02-29 12:34:56 UTC' "$work/pkg/Res/readme.txt"
# An entry name in the device's ANSI code page: byte 0x8E is "Ž" in CP1252.
printf 'ansi\r\n' >"$work/pkg/Res/"$'\x8e'".txt"
(cd "$work/pkg" && LC_ALL=C TZ=UTC zip -q -X -P .TORVA. "$template/fs/Storage Card/KTR 60 SHELL.ZIP" \
  Res/readme.txt Res/$'\x8e'.txt)
# The programs run from the storage card, so they find their package there.
copy_root() {  # <name> -> a fresh copy of the template with both programs on its card
  rm -rf "$work/$1"; cp -a "$template" "$work/$1"
  cp "$linux_shellfit" "$work/$1/fs/Storage Card/shellfit"
  cp "$win_shellfit" "$work/$1/fs/Storage Card/shellfit.exe"
}

# --- imagefit: journal.log line for line, flash/ byte for byte ---------------
copy_root img-linux; copy_root img-win
run_linux "$work/img-linux" "$linux_imagefit" 'start\n' '\Storage Card\Update'; ls=$status
run_win "$work/img-win" "$win_imagefit" 'start\n' '\Storage Card\Update'; ws=$status
same_status "imagefit update" "$ls" "$ws" 1
if [ -s "$work/img-linux/journal.log" ] &&
   diff "$work/img-linux/journal.log" "$work/img-win/journal.log" >"$work/journal.diff"; then
  pass "imagefit: same journal.log ($(wc -l <"$work/img-linux/journal.log") lines)"
else
  fail "imagefit: journal.log differs or is empty"; head -20 "$work/journal.diff"
fi
if [ -d "$work/img-linux/flash" ] && diff -r "$work/img-linux/flash" "$work/img-win/flash" >/dev/null; then
  pass "imagefit: same flash/ ($(ls "$work/img-linux/flash" | wc -l) files)"
else
  fail "imagefit: flash/ differs"
fi
if diff "$work/img-linux.out" "$work/img-win.out" >/dev/null; then
  pass "imagefit: same console transcript"
else
  fail "imagefit: console transcripts differ"; diff "$work/img-linux.out" "$work/img-win.out" | head
fi

# --- the device's own files never written through a link ---------------------
# journal.log a hard link to a file outside, flash/nboot.bin and flash/version
# symbolic links outside: the journal is refused, the flash files replaced.
for build in linux win; do
  copy_root "links-$build"
  mkdir -p "$work/links-$build/flash" "$work/links-$build-outside"
  for f in journal nboot version; do printf 'outside\n' >"$work/links-$build-outside/$f"; done
  ln "$work/links-$build-outside/journal" "$work/links-$build/journal.log"
  ln -s "$work/links-$build-outside/nboot" "$work/links-$build/flash/nboot.bin"
  ln -s "$work/links-$build-outside/version" "$work/links-$build/flash/version"
done
run_linux "$work/links-linux" "$linux_imagefit" 'start\n' '\Storage Card\Update'; ls=$status
run_win "$work/links-win" "$win_imagefit" 'start\n' '\Storage Card\Update'; ws=$status
same_status "imagefit through planted links" "$ls" "$ws" 1
for build in linux win; do
  root="$work/links-$build"
  if [ "$(cat "$root-outside/journal" "$root-outside/nboot" "$root-outside/version")" = \
       "$(printf 'outside\noutside\noutside')" ] &&
     grep -q 'journal.log has another hard link' "$root.err" &&
     [ ! -L "$root/flash/nboot.bin" ] && [ ! -L "$root/flash/version" ] &&
     cmp -s "$root/flash/nboot.bin" "$work/img-linux/flash/nboot.bin"; then
    pass "$build: nothing outside changed through the journal's hard link or flash/ links"
  else
    fail "$build: a file outside changed, or the journal or flash/ went through a link"
    cat "$root.err" | head -5; ls -l "$root/flash" "$root-outside"
  fi
done

# --- shellfit /force: the same Flash Disk tree --------------------------------
copy_root force-linux; copy_root force-win
run_linux "$work/force-linux" "$work/force-linux/fs/Storage Card/shellfit" '' /force; ls=$status
run_win "$work/force-win" "$work/force-win/fs/Storage Card/shellfit.exe" '' /force; ws=$status
same_status "shellfit /force" "$ls" "$ws" 1
same_trees "shellfit /force" "$work/force-linux/fs/Flash Disk" "$work/force-win/fs/Flash Disk"
if diff "$work/force-linux.out" "$work/force-win.out" >/dev/null; then
  pass "shellfit /force: same console transcript"
else
  fail "shellfit /force: console transcripts differ"; diff "$work/force-linux.out" "$work/force-win.out" | head
fi

# --- [fs] capacity: a drive too small for the map refuses the package alike --
# The room is measured before anything is written (GetDiskFreeSpaceEx under
# the capacity), so neither build deletes or writes a file.
for build in linux win; do
  copy_root "cap-$build"
  # Room for everything but the 64 KiB map: its three attempts fail.
  used=$(find "$work/cap-$build/fs" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
  sed -i "s/^capacity = 0 /capacity = $((used + 16384)) /" "$work/cap-$build/device.ini"
done
run_linux "$work/cap-linux" "$work/cap-linux/fs/Storage Card/shellfit" '' /force; ls=$status
run_win "$work/cap-win" "$work/cap-win/fs/Storage Card/shellfit.exe" '' /force; ws=$status
same_status "[fs] capacity" "$ls" "$ws" 1
same_trees "[fs] capacity" "$work/cap-linux/fs/Flash Disk" "$work/cap-win/fs/Flash Disk"
if grep -q 'cannot be installed: its files need .* Nothing was changed' "$work/cap-win.out" &&
   diff "$work/cap-linux.out" "$work/cap-win.out" >/dev/null; then
  pass "[fs] capacity: too little room found before any write, the same console transcript"
else
  fail "[fs] capacity: transcripts differ or the lack of room went unseen"
  diff "$work/cap-linux.out" "$work/cap-win.out" | head
fi

# --- shellfit /upgrade: a newer package updates, an older one does not --------
copy_root newer-linux; copy_root newer-win
run_linux "$work/newer-linux" "$work/newer-linux/fs/Storage Card/shellfit" 'start\n' /upgrade; ls=$status
run_win "$work/newer-win" "$work/newer-win/fs/Storage Card/shellfit.exe" 'start\n' /upgrade; ws=$status
same_status "shellfit /upgrade, newer package" "$ls" "$ws" 1
same_trees "shellfit /upgrade, newer package" "$work/newer-linux/fs/Flash Disk" "$work/newer-win/fs/Flash Disk"

bash "$repo/tools/make-pe-fixture.sh" arm "$repo/tests/win32/main_9_0_0.rc" "$work/main-9.0.0.exe" >/dev/null 2>&1 ||
  fail "no main.exe 9.0.0 could be made"
for build in linux win; do
  copy_root "older-$build"
  cp -p "$work/main-9.0.0.exe" "$work/older-$build/fs/Flash Disk/main.exe"
done
before=$(tree_of "$work/older-win/fs/Flash Disk")
run_linux "$work/older-linux" "$work/older-linux/fs/Storage Card/shellfit" 'start\n' /upgrade; ls=$status
run_win "$work/older-win" "$work/older-win/fs/Storage Card/shellfit.exe" 'start\n' /upgrade; ws=$status
same_status "shellfit /upgrade, older package" "$ls" "$ws" 0
if [ "$before" = "$(tree_of "$work/older-win/fs/Flash Disk")" ]; then
  pass "shellfit /upgrade, older package: Flash Disk untouched on Win32"
else
  fail "shellfit /upgrade, older package: Win32 changed the Flash Disk"
fi

# --- an interrupted staged install, finished at the next start ---------------
# The state a power cut leaves after the commit: every entry staged under
# .fitkit\staging, the record "committed", the old shell still there. Both
# builds finish it at start, before "/upgrade" finds the package not newer.
for build in linux win; do
  copy_root "rec-$build"
  flash="$work/rec-$build/fs/Flash Disk"
  mkdir -p "$flash/.fitkit/staging"
  (cd "$flash/.fitkit/staging" && unzip -q -P .TORVA. "$work/rec-$build/fs/Storage Card/KTR 60 SHELL.ZIP" &&
   # unzip keeps the CP1252 byte; the device root holds names in UTF-8.
   mv "Res/"$'\x8e'".txt" "Res/Ž.txt")
  # The staging's own list (each entry's size and CRC-32 from the central
  # directory) and the record that names it by its id and CRC-32.
  python3 - "$flash/.fitkit" "$work/rec-$build/fs/Storage Card/KTR 60 SHELL.ZIP" <<'PY'
import sys, zipfile, zlib
def checked(text):
    return text + "check %08x\n" % zlib.crc32(text.encode())
install = "0123456789abcdef0123456789abcdef"
listing = "fitkit staging list 1\ninstall %s\n" % install
for info in zipfile.ZipFile(sys.argv[2]).infolist():
    name = info.filename
    if not info.flag_bits & 0x800:
        name = name.encode("cp437").decode("cp1252")
    path = "\\".join(part for part in name.split("/") if part)
    if info.is_dir():
        listing += "folder %s\n" % path
    else:
        listing += "file %d %08x %s\n" % (info.file_size, info.CRC, path)
listing = checked(listing)
open(sys.argv[1] + "/staging/.fitkit", "w", newline="\n", encoding="utf-8").write(listing)
record = ("fitkit install record 2\nmode staged\nstep committed\ninstall %s\nlist-crc %08x\n"
          "package \\Storage Card\\KTR 60 SHELL.ZIP\npackage-size 0\npackage-tail-crc 00000000\n"
          % (install, zlib.crc32(listing.encode())))
open(sys.argv[1] + "/install.rec", "w", newline="\n").write(checked(record))
PY
done
run_linux "$work/rec-linux" "$work/rec-linux/fs/Storage Card/shellfit" '' /upgrade; ls=$status
run_win "$work/rec-win" "$work/rec-win/fs/Storage Card/shellfit.exe" '' /upgrade; ws=$status
same_status "shellfit, interrupted staged install" "$ls" "$ws" 0
same_trees "shellfit, interrupted staged install" "$work/rec-linux/fs/Flash Disk" "$work/rec-win/fs/Flash Disk"
if [ ! -e "$work/rec-win/fs/Flash Disk/.fitkit" ] && [ -f "$work/rec-win/fs/Flash Disk/Res/readme.txt" ]; then
  pass "shellfit, interrupted staged install: finished at start on Win32, record gone"
else
  fail "shellfit, interrupted staged install: Win32 left $(ls -A "$work/rec-win/fs/Flash Disk" | tr '\n' ' ')"
fi

# --- nothing outside the root: ".." and a link that leads out ----------------
for build in linux win; do
  r="$work/out-$build" outside="$work/outside-$build"
  copy_root "out-$build"
  mkdir -p "$outside/victim/Data"
  printf 'outside main' >"$outside/victim/main.exe"
  printf 'outside data' >"$outside/victim/Data/keep.txt"
  mv "$r/fs/Storage Card/KTR 60 SHELL.ZIP" "$outside/"
  program="$r/fs/Storage Card/shellfit"; [ $build = win ] && program="$program.exe"
  run=run_linux; [ $build = win ] && run=run_win
  flash_before=$(tree_of "$r/fs/Flash Disk")
  # The package's folder named through "..": no package is found.
  $run "$r" "$program" 'start\n' "\\..\\..\\outside-$build"
  if [ "$status" = 1 ] && [ "$flash_before" = "$(tree_of "$r/fs/Flash Disk")" ]; then
    pass "$build: a package reached through .. is not used"
  else
    fail "$build: through .., exit $status"
  fi
  # Dangling links on the flash drive that point outside, named like a
  # folder and a file of the package: nothing is created where they point.
  mkdir -p "$work/dangle-$build"
  rm -rf "$r/fs/Flash Disk/Maps" "$r/fs/Flash Disk/main.exe"
  ln -s "$work/dangle-$build/Maps" "$r/fs/Flash Disk/Maps"
  ln -s "$work/dangle-$build/main.exe" "$r/fs/Flash Disk/main.exe"
  mv "$outside/KTR 60 SHELL.ZIP" "$r/fs/Storage Card/"
  $run "$r" "$program" '' /force
  if [ "$status" = 1 ] && [ -z "$(ls -A "$work/dangle-$build")" ]; then
    pass "$build: nothing created through dangling links that point outside"
  else
    fail "$build: through a dangling link, exit $status: $(ls -A "$work/dangle-$build")"
  fi
  mv "$r/fs/Storage Card/KTR 60 SHELL.ZIP" "$outside/"
  # The flash drive folder a link to a folder outside: nothing there changes.
  mv "$outside/KTR 60 SHELL.ZIP" "$r/fs/Storage Card/"
  outside_before=$(tree_of "$outside")
  rm -rf "$r/fs/Flash Disk"
  ln -s "$outside/victim" "$r/fs/Flash Disk"
  $run "$r" "$program" '' /force
  if [ "$outside_before" = "$(tree_of "$outside")" ]; then
    pass "$build: a flash drive linked outside is left alone (exit $status)"
  else
    fail "$build: the folder outside changed through a link"
  fi
done

# --- processes: a program running from the flash drive is ended -------------
# A small program copied to the flash drive waits for the end of its input
# (imagefit would not do: it holds the device's update lock, and shellfit
# would leave the device to it); shellfit /force lists the processes whose
# image lies under <root>\fs (itself and that one, none of Wine's own) and
# ends it before replacing the files.
printf '#include <stdio.h>\nint main(void) {\n  puts("START");\n  fflush(stdout);\n  while (getchar() != EOF) {\n  }\n  return 5;\n}\n' >"$work/runner.c"
x86_64-w64-mingw32-gcc -O2 -o "$work/runner.exe" "$work/runner.c" ||
  fail "x86_64-w64-mingw32-gcc cannot build the waiting program"
copy_root kill
cp "$work/runner.exe" "$work/kill/fs/Flash Disk/runner.exe"
mkfifo "$work/runner.in"
FITKIT_UI=console FITKIT_DEVICE="$(winpath "$work/kill")" \
  wine "$work/kill/fs/Flash Disk/runner.exe" '\Storage Card\Update' <"$work/runner.in" \
  >"$work/runner.out" 2>&1 &
runner=$!
exec 8>"$work/runner.in"
for _ in $(seq 200); do grep -q 'START' "$work/runner.out" && break; sleep 0.1; done
FITKIT_TRACE=1 run_win "$work/kill" "$work/kill/fs/Storage Card/shellfit.exe" '' /force
shell_status=$status
listed=$(grep -o 'CreateToolhelp32Snapshot -> [0-9]* processes' "$work/kill.err")
exec 8>&-  # a runner that was not ended now sees the end of its input
wait_for "$runner" 20
ended=no; [ "$status" = 0 ] && ended=yes  # TerminateProcess(..., 0)
if [ "$shell_status" = 1 ] && [ "$listed" = 'CreateToolhelp32Snapshot -> 2 processes' ] &&
   grep -q 'TerminateProcess([0-9]*, 0) -> ok' "$work/kill.err" && [ $ended = yes ]; then
  pass "processes: only the device's two listed, the one on the flash drive ended"
else
  fail "processes: exit $shell_status, '$listed', runner ended by shellfit: $ended"
fi
same_trees "after ending a process" "$work/force-linux/fs/Flash Disk" "$work/kill/fs/Flash Disk"

# --- lower-casing as the device does it: the registry names the flash drive
# "FLÄSH DISK", the folder is "fläsh disk"; the program running from it is
# still found below the flash drive (a prefix test ignoring case) and ended.
copy_root case
mv "$work/case/fs/Flash Disk" "$work/case/fs/fläsh disk"
sed -i 's/"Folder"="Flash Disk"/"Folder"="FLÄSH DISK"/' "$work/case/registry.reg"
cp "$work/runner.exe" "$work/case/fs/fläsh disk/runner.exe"
rm -f "$work/runner.in"; mkfifo "$work/runner.in"
FITKIT_UI=console FITKIT_DEVICE="$(winpath "$work/case")" \
  wine "$work/case/fs/fläsh disk/runner.exe" '\Storage Card\Update' <"$work/runner.in" \
  >"$work/runner.out" 2>&1 &
runner=$!
exec 8>"$work/runner.in"
for _ in $(seq 200); do grep -q 'START' "$work/runner.out" && break; sleep 0.1; done
FITKIT_TRACE=1 run_win "$work/case" "$work/case/fs/Storage Card/shellfit.exe" '' /force
shell_status=$status
exec 8>&-
wait_for "$runner" 20
if [ "$shell_status" = 1 ] && [ "$status" = 0 ] &&
   grep -q 'TerminateProcess([0-9]*, 0) -> ok' "$work/case.err"; then
  pass "lower-casing: the program below \\fläsh disk ended for \\FLÄSH DISK"
else
  fail "lower-casing: shellfit exit $shell_status, runner exit $status"
fi
same_trees "flash drive named in another case" "$work/force-linux/fs/Flash Disk" "$work/case/fs/fläsh disk"

# --- a second instance exits 0 while the first runs; Cancel ends with 2 -------
copy_root twice
mkfifo "$work/first.in"
FITKIT_UI=console FITKIT_TRACE=1 FITKIT_DEVICE="$(winpath "$work/twice")" \
  wine "$work/twice/fs/Storage Card/shellfit.exe" <"$work/first.in" >"$work/first.out" 2>"$work/first.err" &
first=$!
exec 7>"$work/first.in"  # held open: the first instance waits at its prompt
for _ in $(seq 200); do grep -q 'CreateMutex.*created' "$work/first.err" && break; sleep 0.1; done
FITKIT_UI=console FITKIT_TRACE=1 FITKIT_DEVICE="$(winpath "$work/twice")" \
  wine "$work/twice/fs/Storage Card/shellfit.exe" </dev/null >"$work/second.out" 2>"$work/second.err"
second=$?
if [ "$second" = 0 ] && grep -q 'already exists' "$work/second.err" && ! grep -q dialog "$work/second.out"; then
  pass "second instance: exit 0 without a dialog while the first runs"
else
  fail "second instance: exit $second"; tail -3 "$work/second.err"
fi
# The other updater on the same device refuses with 3 while the first waits.
# The Windows programs say how a run ended in the report only.
FITKIT_UI=console FITKIT_DEVICE="$(winpath "$work/twice")" \
  FITKIT_REPORT="$(winpath "$work/other.json")" \
  wine "$win_imagefit" '\Storage Card\Update' </dev/null >"$work/other.out" 2>"$work/other.err"
other=$?
if [ "$other" = 3 ] && grep -q '"update-running"' "$work/other.json" &&
   grep -q 'an update is already running on this device' "$work/other.json"; then
  pass "imagefit while shellfit runs: exit 3, an update is already running"
else
  fail "imagefit while shellfit runs: exit $other"; cat "$work/other.json"
fi
printf 'cancel\n' >&7
exec 7>&-
wait_for "$first" 30; cancelled=$status
[ "$cancelled" = 2 ] && pass "Cancel: exit 2" || fail "Cancel: exit $cancelled"

# --- the real Win32 dialog under Xvfb: an incomplete image set ends with 255
# before the (hidden) dialog is shown; Escape in shellfit's dialog is Cancel.
if command -v xvfb-run >/dev/null && command -v xdotool >/dev/null; then
  copy_root missing
  copy_root revision
  sed -i 's/^revision = 3/revision = 4/' "$work/revision/device.ini"
  rm "$work/missing/fs/Storage Card/Update/tinynk.bin"
  cat >"$work/in-x.sh" <<'X'
win_imagefit=$1 root=$2 shellfit=$3 work=$4
FITKIT_TRACE=1 FITKIT_DEVICE="$root" wine "$win_imagefit" '\Storage Card\Update' </dev/null \
  >"$work/missing.out" 2>"$work/missing.err"
echo $? >"$work/missing.status"
FITKIT_TRACE=1 FITKIT_DEVICE="$root" wine "$shellfit" </dev/null >"$work/escape.out" 2>"$work/escape.err" &
pid=$!
for _ in $(seq 200); do grep -q 'ShowWindow(SW_SHOW)' "$work/escape.err" && break; sleep 0.1; done
# Escape once a second until the dialog (which may not have the focus at
# once) takes it; after 20 tries the program is ended and the case fails.
for _ in $(seq 20); do
  sleep 1
  kill -0 "$pid" 2>/dev/null || break
  xdotool key Escape
done
kill "$pid" 2>/dev/null && echo hung >"$work/escape.status"
wait "$pid"
status=$?
[ -s "$work/escape.status" ] || echo $status >"$work/escape.status"

# A board of another revision: Return presses START, the Yes/No box with
# MB_DEFBUTTON2 comes up, Return answers its default (No), Escape cancels.
press_until() {  # <key> <trace text> <pid>
  for _ in $(seq 20); do
    grep -qF -- "$2" "$work/revision.err" && return 0
    kill -0 "$3" 2>/dev/null || return 1
    xdotool key "$1"; sleep 1
  done
  return 1
}
FITKIT_TRACE=1 FITKIT_DEVICE="$5" wine "$win_imagefit" '\Storage Card\Update' </dev/null \
  >"$work/revision.out" 2>"$work/revision.err" &
pid=$!
for _ in $(seq 200); do grep -q 'ShowWindow(SW_SHOW)' "$work/revision.err" && break; sleep 0.1; done
sleep 1
press_until Return 'MessageBox(' "$pid" && sleep 1 && press_until Return 'MessageBox answered' "$pid" &&
  press_until Escape 'EndDialog(' "$pid"
sleep 1
kill "$pid" 2>/dev/null && echo hung >"$work/revision.status"
wait "$pid"
status=$?
[ -s "$work/revision.status" ] || echo $status >"$work/revision.status"
X
  # Wine's desktop keeps the display it was started with: a fresh server here.
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  xvfb-run -a -n $((5000 + $$ % 800)) -s "-screen 0 480x272x24" bash "$work/in-x.sh" \
    "$win_imagefit" "$(winpath "$work/missing")" "$work/missing/fs/Storage Card/shellfit.exe" "$work" \
    "$(winpath "$work/revision")"
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  status=$(cat "$work/missing.status" 2>/dev/null)
  if [ "$status" = 255 ] && grep -q 'DialogBox(resource 104' "$work/missing.err" &&
     grep -q 'EndDialog(-1)' "$work/missing.err" && ! grep -q 'ShowWindow' "$work/missing.err"; then
    pass "missing image: exit 255, the Win32 dialog never shown"
  else
    fail "missing image: exit $status"; tail -3 "$work/missing.err"
  fi
  status=$(cat "$work/escape.status" 2>/dev/null)
  if [ "$status" = 2 ] && grep -q 'EndDialog(2)' "$work/escape.err"; then
    pass "Escape in the Win32 dialog: exit 2"
  else
    fail "Escape in the Win32 dialog: exit $status"; tail -3 "$work/escape.err"
  fi
  status=$(cat "$work/revision.status" 2>/dev/null)
  if [ "$status" = 2 ] && grep -q 'MessageBox(.*0x40124)' "$work/revision.err" &&
     grep -q 'MessageBox answered 7' "$work/revision.err" && [ ! -e "$work/revision/flash" ]; then
    pass "MessageBoxW: Return takes the default No of MB_DEFBUTTON2, nothing flashed, exit 2"
  else
    fail "MessageBoxW: exit $status"; grep 'MessageBox' "$work/revision.err"
  fi
else
  echo "SKIP: the Win32 dialog cases (xvfb-run or xdotool missing)"
fi

# --- signed updates: a key in the registry, minisign's signatures -------------
# Both builds install the signed package and send the signed image set alike;
# a package changed after signing, and an image without its signature, are
# refused with one box and nothing changed or sent.
if command -v minisign >/dev/null; then
  minisign -G -W -f -p "$work/maker.pub" -s "$work/maker.key" >/dev/null
  key=$(sed -n 2p "$work/maker.pub")
  fitkit=$(realpath "$(dirname "$linux_shellfit")/../fitkit/fitkit")
  for name in signed-linux signed-win tampered-linux tampered-win unsigned-linux unsigned-win; do
    copy_root "$name"
    printf '\n[HKEY_LOCAL_MACHINE\\Ident]\n"UpdateKeys"="%s"\n' "$key" >>"$work/$name/registry.reg"
    # The package and the image set are each signed through their release
    # manifest.
    (cd "$work/$name/fs/Storage Card" &&
     "$fitkit" manifest "KTR 60 SHELL.ZIP" >/dev/null &&
     "$fitkit" manifest Update >/dev/null &&
     minisign -S -W -s "$work/maker.key" -t "model=KTR 60" -m "KTR 60 SHELL.ZIP.manifest" \
       Update/release.manifest >/dev/null)
  done
  run_linux "$work/signed-linux" "$work/signed-linux/fs/Storage Card/shellfit" '' /force; ls=$status
  run_win "$work/signed-win" "$work/signed-win/fs/Storage Card/shellfit.exe" '' /force; ws=$status
  same_status "signed package" "$ls" "$ws" 1
  same_trees "signed package" "$work/force-linux/fs/Flash Disk" "$work/signed-win/fs/Flash Disk"
  same_trees "signed package" "$work/signed-linux/fs/Flash Disk" "$work/signed-win/fs/Flash Disk"
  rm -f "$work/signed-linux/journal.log" "$work/signed-win/journal.log"
  run_linux "$work/signed-linux" "$linux_imagefit" 'start\n' '\Storage Card\Update'; ls=$status
  run_win "$work/signed-win" "$win_imagefit" 'start\n' '\Storage Card\Update'; ws=$status
  same_status "signed image set" "$ls" "$ws" 1
  if diff "$work/img-linux/journal.log" "$work/signed-win/journal.log" >/dev/null &&
     diff -r "$work/img-linux/flash" "$work/signed-win/flash" >/dev/null; then
    pass "signed image set: the same journal.log and flash/ as unsigned"
  else
    fail "signed image set: journal.log or flash/ differ"
  fi

  for build in linux win; do
    printf 'X' | dd of="$work/tampered-$build/fs/Storage Card/KTR 60 SHELL.ZIP" bs=1 seek=100 \
      conv=notrunc status=none
    printf 'X' | dd of="$work/unsigned-$build/fs/Storage Card/Update/nk.bin" bs=1 seek=100 \
      conv=notrunc status=none
  done
  before=$(tree_of "$work/tampered-linux/fs/Flash Disk")
  run_linux "$work/tampered-linux" "$work/tampered-linux/fs/Storage Card/shellfit" '' /force; ls=$status
  run_win "$work/tampered-win" "$work/tampered-win/fs/Storage Card/shellfit.exe" '' /force; ws=$status
  same_status "tampered package" "$ls" "$ws" 1
  for build in linux win; do
    root="$work/tampered-$build"
    if [ "$before" = "$(tree_of "$root/fs/Flash Disk")" ] &&
       [ "$(grep -c 'message box' "$root.out")" = 1 ] &&
       grep -q 'was changed after it was signed: .* Nothing was changed.' "$root.out"; then
      pass "$build: the tampered package refused, Flash Disk untouched"
    else
      fail "$build: the tampered package was not refused alone"; grep -A2 'message box' "$root.out"
    fi
  done
  run_linux "$work/unsigned-linux" "$linux_imagefit" 'start\ncancel\n' '\Storage Card\Update'; ls=$status
  run_win "$work/unsigned-win" "$win_imagefit" 'start\ncancel\n' '\Storage Card\Update'; ws=$status
  same_status "image changed after it was signed" "$ls" "$ws" 2
  for build in linux win; do
    root="$work/unsigned-$build"
    if [ ! -e "$root/journal.log" ] && [ ! -e "$root/flash" ] &&
       grep -q 'nk.bin was changed after it was signed: .* names as its nk' "$root.out"; then
      pass "$build: the image set with a changed nk.bin refused, nothing sent"
    else
      fail "$build: the image set with a changed nk.bin was not refused"
    fi
  done
else
  fail "minisign is missing (tools/install-deps.sh installs it)"
fi

# --- the registry both ways ---------------------------------------------------
# Without registry.reg the file registry is empty: no model, no flash drive,
# so shellfit ends at once. With the device's registry.reg imported into the
# prefix, FITKIT_REGISTRY=host finds both there and updates like Linux does.
copy_root reg-file; copy_root reg-host
wine regedit /S "$(winpath "$template/registry.reg")" >/dev/null 2>&1
rm "$work/reg-file/registry.reg" "$work/reg-host/registry.reg"
before=$(tree_of "$work/reg-file/fs/Flash Disk")
run_win "$work/reg-file" "$work/reg-file/fs/Storage Card/shellfit.exe" '' /force; fs=$status
FITKIT_REGISTRY=host run_win "$work/reg-host" "$work/reg-host/fs/Storage Card/shellfit.exe" '' /force; hs=$status
if [ "$fs" = 0 ] && [ "$before" = "$(tree_of "$work/reg-file/fs/Flash Disk")" ]; then
  pass "registry.reg missing: exit 0, Flash Disk untouched"
else
  fail "registry.reg missing: exit $fs"
fi
[ "$hs" = 1 ] && pass "FITKIT_REGISTRY=host: exit 1" || fail "FITKIT_REGISTRY=host: exit $hs"
same_trees "FITKIT_REGISTRY=host" "$work/force-linux/fs/Flash Disk" "$work/reg-host/fs/Flash Disk"

echo "$failures failed"
[ "$failures" = 0 ]
