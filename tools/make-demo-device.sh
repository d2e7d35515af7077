#!/usr/bin/env bash
# Creates a demo device root: fitkit-device's stock device (device.ini, a
# registry with the model, OS version and flash drive profile, the flash
# drive, storage card and Windows folders), then the shell package, the
# installed shell and the image set.
# Usage: tools/make-demo-device.sh [folder]   (default ./demo-device)
set -euo pipefail

root="${1:-./demo-device}"

# device.ini, registry.reg and the folders: fitkit-device's defaults are the
# demo device's.
make_device_root() {
  bash "$(dirname "$0")/fitkit-device.sh" create "$root" --force >/dev/null
}

# A Windows PE main.exe whose version resource says FileVersion $1, built by
# tools/make-pe-fixture.sh into $2.
make_versioned_exe() {
  local version=$1 out=$2 rc
  rc=$(mktemp --suffix=.rc)
  cat >"$rc" <<RC
1 VERSIONINFO
FILEVERSION ${version//./,},0
PRODUCTVERSION ${version//./,},0
FILEOS 0x4
FILETYPE 0x1
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904b0"
    BEGIN
      VALUE "CompanyName", "fitkit demo"
      VALUE "FileDescription", "KTR 60 shell"
      VALUE "FileVersion", "$version"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
RC
  bash "$(dirname "$0")/make-pe-fixture.sh" arm "$rc" "$out"
  rm -f "$rc"
}

# The shell package on the storage card ("<model> SHELL.ZIP", password
# ".TORVA."): main.exe 2.1.0 with its resources, over an installed shell
# 2.0.7 on the flash drive with its registry hives and GPS parameters.
add_shell_package() {
  local flash="$root/fs/Flash Disk" card package work
  card=$(cd "$root/fs/Storage Card" && pwd)
  package="$card/KTR 60 SHELL.ZIP"
  if ! command -v zip >/dev/null || ! command -v lld-link-14 >/dev/null; then
    echo "make-demo-device: zip or lld-link-14 missing; no shell package" >&2
    return 0
  fi
  work=$(mktemp -d)
  make_versioned_exe 2.0.7 "$flash/main.exe"
  mkdir -p "$flash/Res" "$flash/Maps"
  printf 'shell 2.0.7 strings\r\n' >"$flash/Res/strings.txt"
  head -c 8192 /dev/urandom >"$flash/Maps/old.map"
  printf 'hive' >"$flash/user.hv"
  printf 'hive' >"$flash/system.hv"
  head -c 512 /dev/zero >"$flash/gpspara0.bin"

  mkdir -p "$work/Res" "$work/Maps"
  make_versioned_exe 2.1.0 "$work/main.exe"
  printf 'shell 2.1.0 strings\r\n' >"$work/Res/strings.txt"
  head -c 65536 /dev/urandom >"$work/Maps/area.map"
  head -c 4096 /dev/urandom >"$work/Res/icons.bin"
  rm -f "$package"
  (cd "$work" && TZ=UTC zip -q -r -X -P .TORVA. "$package" main.exe Res Maps)
  rm -rf "$work"
}

# The OS image set and its version file on the storage card, where the
# README's command points imagefit: two raw boot loaders and four BIN images
# written by tools/make-bin-image (NK_SIZE bytes of kernel, 4 MB by default).
add_image_set() {
  local writer="${MAKE_BIN_IMAGE:-$(dirname "$0")/../build/tools/make-bin-image}"
  # The installed kit's writer, when there is no build beside this script.
  if [ ! -x "$writer" ] && [ -z "${MAKE_BIN_IMAGE:-}" ] && command -v fitkit-make-bin-image >/dev/null; then
    writer=$(command -v fitkit-make-bin-image)
  fi
  local update="$root/fs/Storage Card/Update"
  if [ ! -x "$writer" ]; then
    echo "make-demo-device: no $writer (build the project first); no image set" >&2
    return 0
  fi
  mkdir -p "$update"
  head -c 16384 < <(yes "NBOOT demo boot loader") >"$update/nboot.bin"
  head -c 262144 < <(yes "EBOOT demo boot loader") >"$update/eboot.nb0"
  "$writer" --start 0x80000000 --size 262144 --seed 1 "$update/drivers.bin"
  "$writer" --start 0x80100000 --size 65536 --seed 2 "$update/tinynk.bin"
  "$writer" --start 0x80200000 --size "${NK_SIZE:-4194304}" --record-size 65536 --seed 3 \
    "$update/nk.bin"
  "$writer" --start 0x82200000 --size 16384 --seed 4 "$update/chain.bin"
  printf 'V1.0.7\r\n' >"$update/KTR 60.ini"
}

make_device_root
add_shell_package
add_image_set
echo "demo device created in $root"
