#!/usr/bin/env bash
# Builds the .deb from the build folder $1, unpacks it with dpkg -x and runs
# the unpacked programs from a folder of their own: fitkit-device makes a
# device, fitkit-make-bin-image an image set, imagefit programs it and shellfit
# installs a package, each writing its report.
set -euo pipefail
build=$(cd "$1" && pwd)
for tool in cpack dpkg-deb; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed"
    exit 77
  fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out") \
  >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(ls "$scratch"/out/fitkit_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Computed from the programs' libraries, not written by hand.
[[ $depends == *libfltk1.3* && $depends == *libc6* && $depends == *zlib1g* &&
  $depends == *libgcrypt20* ]] ||
  fail "dependencies not computed: $depends"
dpkg-deb -c "$deb" >"$scratch/contents"
for path in usr/bin/shellfit usr/bin/imagefit usr/bin/fitkit usr/bin/fitkit-device \
  usr/bin/fitkit-make-bin-image usr/share/man/man1/shellfit.1 usr/share/man/man1/imagefit.1 \
  usr/share/man/man1/fitkit.1 usr/share/man/man1/fitkit-device.1 \
  usr/share/man/man1/fitkit-make-bin-image.1 usr/share/bash-completion/completions/fitkit \
  usr/share/doc/fitkit/copyright usr/share/doc/fitkit/changelog.gz \
  usr/share/doc/fitkit/report.md; do
  grep -q "\./$path" "$scratch/contents" || fail "$path is not in the package"
done

# Debian's own judgement of the package: no errors, no warnings.
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1 ||
    { cat "$scratch/lintian.log"; fail "lintian"; }
  echo "lintian: $(wc -l <"$scratch/lintian.log") lines, no errors or warnings"
else
  echo "lintian is not installed: the package is not judged by it"
fi

dpkg -x "$deb" "$scratch/root"
bin=$scratch/root/usr/bin
for program in shellfit imagefit fitkit fitkit-device fitkit-make-bin-image; do
  "$bin/$program" --version | grep -q "^$program (fitkit) [0-9]" || fail "$program --version"
done
"$bin/imagefit" --help | grep -q '^Usage: imagefit' || fail "imagefit --help"
"$bin/fitkit-device" --help | grep -q -- '--board-revision' || fail "fitkit-device --help"

# Run from a folder that is neither the build nor the package.
mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
"$bin/fitkit-device" create dev --model "XR 9" >/dev/null
update="dev/fs/Storage Card/Update"
mkdir -p "$update"
head -c 4096 /dev/zero | tr '\0' 'N' >"$update/nboot.bin"
head -c 8192 /dev/zero | tr '\0' 'E' >"$update/eboot.nb0"
"$bin/fitkit-make-bin-image" --start 0x80000000 --size 8192 --seed 1 "$update/drivers.bin"
"$bin/fitkit-make-bin-image" --start 0x80100000 --size 4096 --seed 2 "$update/tinynk.bin"
"$bin/fitkit-make-bin-image" --start 0x80200000 --size 65536 --seed 3 "$update/nk.bin"
"$bin/fitkit-make-bin-image" --start 0x82200000 --size 4096 --seed 4 "$update/chain.bin"
printf 'V1.0.7\r\n' >"$update/XR 9.ini"
status=0
printf 'start\n' | FITKIT_UI=console FITKIT_DEVICE=dev FITKIT_REPORT=imagefit.json \
  "$bin/imagefit" '\Storage Card\Update' >/dev/null || status=$?
[[ $status == 1 ]] || fail "imagefit exit status $status"
grep -q '"outcome": "restarted"' imagefit.json || fail "imagefit report: $(cat imagefit.json)"
cmp -s "$update/nboot.bin" dev/flash/nboot.bin || fail "nboot.bin not in flash/"

if command -v zip >/dev/null; then
  mkdir shell && printf 'new shell\r\n' >shell/readme.txt
  (cd shell && zip -q -P .TORVA. "../dev/fs/Storage Card/XR 9 SHELL.ZIP" readme.txt)
  printf 'old' >"dev/fs/Flash Disk/old.txt"
  status=0
  printf '\n' | FITKIT_UI=console FITKIT_DEVICE=dev FITKIT_REPORT=shellfit.json \
    "$bin/shellfit" '\Storage Card' >/dev/null || status=$?
  [[ $status == 1 ]] || fail "shellfit exit status $status"
  grep -q '"outcome": "installed"' shellfit.json || fail "shellfit report: $(cat shellfit.json)"
  [[ -f "dev/fs/Flash Disk/readme.txt" && ! -e "dev/fs/Flash Disk/old.txt" ]] ||
    fail "shellfit did not install the package"
else
  echo "zip is not installed: the shellfit run is left out"
fi
# fitkit from the package: it finds the fitkit-device beside it.
"$bin/fitkit" device create dev2 >/dev/null || fail "fitkit device create"
"$bin/fitkit" device show dev2 | grep -q 'model  *KTR 60' || fail "fitkit device show"
"$bin/fitkit" check "dev/fs/Storage Card/Update" --device dev >/dev/null ||
  fail "fitkit check of the image set"
echo "the unpacked package ran imagefit, shellfit and fitkit"
