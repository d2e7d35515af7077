#!/usr/bin/env bash
# Benchmarks package extraction against unzip. Makes a ZipCrypto package of
# generated files (half text, half random bytes) with `zip -P .TORVA.` and
# runs bench/zip_extract_bench on it in a temporary device root.
#   tools/bench-zip.sh [megabytes of files=280, about a 200 MB package] [files=2000]
set -euo pipefail
megabytes="${1:-280}"
files="${2:-2000}"
cd "$(dirname "$0")/.."
build="${FITKIT_BUILD:-build}"
ninja -C "$build" -j2 zip_extract_bench >/dev/null

work="$(mktemp -d)"
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir -p "$work/device/fs" "$work/src"
: > "$work/device/device.ini"
python3 - "$work/src" "$megabytes" "$files" <<'PY'
import os, random, sys
root, megabytes, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
size = megabytes * 1000 * 1000 // files
rng = random.Random(1)
words = [bytes(rng.choice(b'abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9)))
         for _ in range(2000)]
for i in range(files):
    folder = os.path.join(root, 'dir%02d' % (i % 40))
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, 'file%05d.%s' % (i, 'txt' if i % 2 == 0 else 'bin'))
    with open(path, 'wb') as out:
        if i % 2 == 0:
            text = bytearray()
            while len(text) < size:
                text += b' '.join(rng.choices(words, k=64)) + b'\n'
            out.write(bytes(text[:size]))
        else:
            out.write(os.urandom(size))
PY
(cd "$work/src" && zip -q -r -P .TORVA. "$work/device/fs/pkg.zip" .)
cat "$work/device/fs/pkg.zip" > /dev/null
"$build/bench/zip_extract_bench" "$work/device" pkg.zip .TORVA.
