#!/usr/bin/env bash
# Installs what the kit needs to build, test and run on Debian 12. Skips what is
# present; never prompts.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  zlib1g-dev libfltk1.3-dev libncurses-dev libgtest-dev googletest
  xvfb xauth x11-apps xdotool imagemagick fonts-dejavu-core tmux
  zip unzip 7zip python3
  clang-14 lld-14 llvm-14 libclang-rt-14-dev clang-format-14
  nlohmann-json3-dev
  dpkg-dev file lintian
  g++-mingw-w64-x86-64 libz-mingw-w64-dev wine64 wine
  minisign libgcrypt20-dev libgcrypt-mingw-w64-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
