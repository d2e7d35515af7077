#!/usr/bin/env bash
# Fuzzes the ZIP reader with libFuzzer for the given number of seconds
# (default 60). Builds its own clang tree in build-fuzz/ and seeds the corpus
# with archives made by the real archivers. Exits non-zero on a finding.
set -euo pipefail
seconds="${1:-60}"
cd "$(dirname "$0")/.."
build="${FITKIT_FUZZ_BUILD:-build-fuzz}"
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DFITKIT_FUZZ=ON -DFITKIT_TESTS=ON \
  -DFITKIT_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
ninja -C "$build" -j2 zip_fuzz >/dev/null

seeds="$build/zip-seeds"
corpus="$build/zip-corpus"
mkdir -p "$corpus"
if [ ! -d "$seeds" ]; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/src/dir/sub" "$work/out"
  printf 'hello\n' > "$work/src/a.txt"
  seq 1 300 > "$work/src/dir/numbers.txt"
  head -c 700 /dev/urandom > "$work/src/dir/sub/random.bin"
  : > "$work/src/empty"
  chmod 444 "$work/src/a.txt"
  (
    cd "$work/src"
    zip -q -r "$work/out/deflated.zip" .
    zip -q -r -0 "$work/out/stored.zip" .
    zip -q -r -P .TORVA. "$work/out/encrypted.zip" .
    zip -q -r -fz- -P .TORVA. - . | cat > "$work/out/stream.zip"
    zip -q -r -z "$work/out/comment.zip" . <<< "an archive comment"
    if command -v 7zz >/dev/null; then 7zz a -tzip -mem=ZipCrypto -p.TORVA. "$work/out/seven.zip" . >/dev/null; fi
    python3 - "$work/out/python.zip" <<'PY'
import sys, zipfile
with open(sys.argv[1], 'wb') as raw:
    class Stream:
        def write(self, b): return raw.write(b)
        def flush(self): raw.flush()
    with zipfile.ZipFile(Stream(), 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr('d/x.txt', 'x' * 500)
        z.writestr('y.bin', bytes(range(256)))
PY
  )
  (head -c 1000 /dev/urandom; cat "$work/out/deflated.zip") > "$work/out/prefixed.zip"
  mkdir -p "$seeds"
  cp "$work/out/"*.zip "$seeds/"
fi

# The hostile packages the shell updater's tests try, made afresh each time.
python3 tools/make-hostile-zips.py "$seeds"

"$build/tests/zipreader/zip_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=20 \
  -rss_limit_mb=2048 -print_final_stats=1 "$corpus" "$seeds"
