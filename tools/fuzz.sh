#!/usr/bin/env bash
# Fuzzes the kit's parsers of untrusted input with libFuzzer, each target for
# the given number of seconds (default 60), one after the other:
#   zip           the ZIP reader over an in-memory device
#   package       the ZIP reader as shellfit drives it, through the device paths
#   registry      registry.reg
#   device_ini    device.ini
#   version_file  an image set's version file
#   bin_flash     a BIN image streamed into the simulated flash update driver
#   pe_version    a PE file's version resource
#   device_paths  device-path resolution against a scratch device root
#   signature     a minisign signature file or public key
#   manifest      a release manifest
#   install_record  shellfit's install record and staging list, as a start reads them
# Usage: tools/fuzz.sh [seconds] [target...]   (all targets without names)
# Builds its own clang tree in build-fuzz/ (FITKIT_FUZZ_BUILD), seeds each
# corpus, replays the kept crash inputs of tests/fuzz/regressions/<target>/
# first, and exits non-zero on a finding (the input is kept under
# build-fuzz/findings/<target>/).
set -euo pipefail
seconds="${1:-60}"
shift || true
all=(zip package registry device_ini version_file bin_flash pe_version device_paths signature manifest
     install_record)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")
cd "$(dirname "$0")/.."
repo="$PWD"
build="$(realpath -m "${FITKIT_FUZZ_BUILD:-build-fuzz}")"
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DFITKIT_FUZZ=ON -DFITKIT_TESTS=ON \
  -DFITKIT_BENCH=OFF -DFITKIT_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null

binary() {
  case "$1" in
    zip) echo tests/zipreader/zip_fuzz ;;
    pe_version) echo tests/fuzz/pe_version_fuzz ;;
    *) echo "tests/fuzz/$1_fuzz" ;;
  esac
}

# Inputs the parsers must take large enough for 64 KB buffers and deep keys.
max_len() {
  case "$1" in
    zip|package|bin_flash|pe_version) echo 262144 ;;
    *) echo 131072 ;;
  esac
}

make_zip_seeds() {
  local out=$1 work
  work="$(mktemp -d)"
  mkdir -p "$work/src/dir/sub"
  printf 'hello\n' > "$work/src/a.txt"
  seq 1 300 > "$work/src/dir/numbers.txt"
  head -c 700 /dev/urandom > "$work/src/dir/sub/random.bin"
  head -c 100000 /dev/urandom > "$work/src/dir/large.bin"
  : > "$work/src/empty"
  chmod 444 "$work/src/a.txt"
  (
    cd "$work/src"
    zip -q -r "$out/deflated.zip" .
    zip -q -r -0 "$out/stored.zip" .
    zip -q -r -P .TORVA. "$out/encrypted.zip" .
    zip -q -r -fz- -P .TORVA. - . | cat > "$out/stream.zip"
    zip -q -r -z "$out/comment.zip" . <<< "an archive comment"
    if command -v 7zz >/dev/null; then 7zz a -tzip -mem=ZipCrypto -p.TORVA. "$out/seven.zip" . >/dev/null; fi
    python3 - "$out/python.zip" <<'PY'
import sys, zipfile
with open(sys.argv[1], 'wb') as raw:
    class Stream:
        def write(self, b): return raw.write(b)
        def flush(self): raw.flush()
    with zipfile.ZipFile(Stream(), 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr('d/x.txt', 'x' * 500)
        z.writestr('y.bin', bytes(range(256)))
        z.writestr('\\Flash Disk\\abs.txt', 'absolute')
        z.writestr('../up.txt', 'dots')
        z.writestr('a:b.txt', 'colon')
PY
  )
  (head -c 1000 /dev/urandom; cat "$out/deflated.zip") > "$out/prefixed.zip"
  # The hostile packages the shell updater's tests try.
  python3 tools/make-hostile-zips.py "$out"
  rm -rf "$work"
}

# The CRC-32 of the text given, in decimal.
crc32_of() { python3 -c 'import sys, zlib; print(zlib.crc32(sys.argv[1].encode()))' "$1"; }

make_seeds() {
  local target=$1 out=$2
  mkdir -p "$out"
  case "$target" in
    zip|package) make_zip_seeds "$out" ;;
    registry)
      printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ident]\n"Model"="KTR 60"\n"Version"="V1.0.5"\n"N"=dword:0000000a\n"B"=hex:01,02,\\\n  03\n@="d"\n[-HKEY_LOCAL_MACHINE\\Old]\n' > "$out/export4.reg"
      { printf 'REGEDIT4\n'; for i in $(seq 1 3000); do printf '[HKEY_LOCAL_MACHINE\\K%d\\Sub]\n"V"=dword:%08x\n' "$i" "$i"; done; } > "$out/large.reg"
      printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\n"M"=hex(7):41,00,00,00,00,00\r\n"E"=hex(2):25,00,00,00\r\n"S"="q\\"\\\\"\r\n' |
        iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$out/export5.reg"
      ;;
    device_ini) 
      sed -n '/^\[screen\]/,/^INI$/p' "$repo/tools/make-demo-device.sh" | sed '$d' > "$out/stock.ini"
      for i in $(seq 1 3000); do printf '[s%d]\nkey%d = 0x%x ; comment\n' "$i" "$i" "$i"; done > "$out/large.ini" ;;
    version_file) printf 'V1.0.7\r\n' > "$out/three"; printf 'V1.2.3.4\n' > "$out/four"
      { printf 'V1.0.7\r\n'; head -c 70000 /dev/zero | tr '\0' ' '; } > "$out/large" ;;
    bin_flash)
      ninja -C "$build" -j2 make-bin-image >/dev/null
      "$build/tools/make-bin-image" --start 0x80200000 --size 70000 --record-size 4096 --seed 3 "$out/nk.bin"
      "$build/tools/make-bin-image" --start 0x80200000 --size 300 --seed 4 "$out/small.bin"
      # The hostile images the check before START refuses.
      for damage in "--cut 2" "--bad-checksum 1" "--implausible-length 1" "--no-end" \
                    "--length 4096" "--zero-length 1"; do
        name=$(echo "$damage" | tr -d ' -')
        "$build/tools/make-bin-image" --start 0x80200000 --size 12000 --seed 5 $damage "$out/$name.bin"
      done
      head -c 10 "$out/nk.bin" > "$out/header-cut.bin" ;;
    pe_version)
      ninja -C "$build" -j2 pe_fixtures >/dev/null
      cp "$build"/tests/readers/pe/*.exe "$out/"
      for exe in "$out"/*.exe; do cat "$exe" <(head -c 70000 /dev/urandom) > "${exe%.exe}-padded.exe"; done ;;
    device_paths)
      printf '\\Storage Card\\a.txt' > "$out/file"
      printf '/card/Sub/new' > "$out/new"
      printf '\\Storage Card\\out\\sentinel.txt' > "$out/out"
      printf '\\STORAGE CARD\\..\\x' > "$out/dots"
      for i in $(seq 1 7000); do printf '\\card\\Sub'; done > "$out/long" ;;
    signature)
      minisign -G -W -p "$out/key.pub" -s "$out/key.sec" >/dev/null
      printf 'V1.0.7\r\n' > "$out/signed"
      minisign -S -W -s "$out/key.sec" -m "$out/signed" -t "model=KTR 60; batch=7" >/dev/null
      minisign -S -W -l -s "$out/key.sec" -m "$out/key.pub" -x "$out/legacy.minisig" >/dev/null
      rm "$out/key.sec" "$out/signed" ;;
    manifest)
      hash=$(printf 'a%.0s' $(seq 64))
      printf 'fitkit release manifest 1\nkind shell-package\nmodel KTR 60\nversion 1.2.4.0\nsecurity-version 2\nfile package 207436800 %s\n' "$hash" > "$out/package"
      { printf 'fitkit release manifest 1\r\nkind image-set\r\nmodel KTR 60\r\nversion V1.0.8\r\n'
        for role in version nboot eboot tinynk drivers nk chain; do printf 'file %s 65536 %s\r\n' "$role" "$hash"; done
      } > "$out/image-set" ;;
    install_record)
      # A whole text of each form, its check line computed here.
      body=$'fitkit install record 2\nmode staged\nstep moving\ninstall 0123456789abcdef0123456789abcdef\nlist-crc 1a2b3c4d\npackage \\Storage Card\\KTR 60 SHELL.ZIP\npackage-size 217034952\npackage-tail-crc 5f1e0c2a\n'
      printf '%scheck %08x\n' "$body" "$(crc32_of "$body")" > "$out/staged"
      body=$'fitkit install record 2\nmode in-place\nstep unpacking\npackage \\Storage Card\\KTR 60 SHELL.ZIP\npackage-size 1000\npackage-tail-crc 00000001\n'
      printf '%scheck %08x\n' "$body" "$(crc32_of "$body")" > "$out/in-place"
      body=$'fitkit staging list 1\ninstall 0123456789abcdef0123456789abcdef\nfolder Docs\nfile 11 0d4a1185 Docs\\a.txt\nfile 0 00000000 main.exe\n'
      printf '%scheck %08x\n' "$body" "$(crc32_of "$body")" > "$out/list" ;;
  esac
}

status=0
for target in "${targets[@]}"; do
  bin="$build/$(binary "$target")"
  ninja -C "$build" -j2 "$(basename "$bin")" >/dev/null
  seeds="$build/seeds/$target"
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  if [ ! -d "$seeds" ]; then
    rm -rf "$seeds.new"
    make_seeds "$target" "$seeds.new"
    mv "$seeds.new" "$seeds"
  fi
  mkdir -p "$corpus" "$findings"
  regressions="$repo/tests/fuzz/regressions/$target"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    echo "== $target: replaying $(ls "$regressions" | wc -l) kept crash inputs"
    "$bin" "$regressions"/* >/dev/null 2>"$findings/replay.log" ||
      { cat "$findings/replay.log"; status=1; continue; }
  fi
  echo "== $target: fuzzing for $seconds seconds"
  log="$findings/fuzz.log"
  if "$bin" -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=20 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
      "$corpus" "$seeds" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$log" | tail -n 2 || true
  else
    cat "$log"
    status=1
  fi
done
exit $status
