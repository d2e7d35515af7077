#!/usr/bin/env bash
# Builds a small Windows PE executable, optionally with the resources of an
# .rc file, using the LLVM tools of the base image (no Windows SDK needed).
#
#   make-pe-fixture.sh <x64|arm> <resource.rc|-> <out.exe>
#
# "-" as the resource file builds an image without any resource section.
set -euo pipefail

if [[ $# -ne 3 ]]; then
  echo "usage: $0 <x64|arm> <resource.rc|-> <out.exe>" >&2
  exit 2
fi
arch=$1 rc=$2 out=$3

case "$arch" in
  x64) target=x86_64-windows-msvc machine=x64 ;;
  arm) target=thumbv7-windows-msvc machine=arm ;;
  *) echo "$0: unknown architecture '$arch'" >&2; exit 2 ;;
esac

# llvm-rc and lld-link take any argument that starts with "/" for a possible
# option ("/check/..." reads as /c), so inputs are named relative to the
# work folder and the resource script comes after "--".
[[ "$rc" == "-" ]] || rc=$(realpath "$rc")
out=$(realpath -m "$out")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

echo 'void start(void) {}' >entry.c
clang-14 --target="$target" -c entry.c -o entry.obj

inputs=(entry.obj)
if [[ "$rc" != "-" ]]; then
  llvm-rc-14 /no-preprocess /FO res.res -- "$rc"
  inputs+=(res.res)
fi

lld-link-14 /nologo /subsystem:windows /entry:start /nodefaultlib /Brepro \
  /machine:"$machine" /out:"$out" "${inputs[@]}"
