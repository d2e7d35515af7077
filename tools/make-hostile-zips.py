#!/usr/bin/env python3
"""Writes the hostile packages the shell updater's tests try into a folder, as
seeds for the ZIP reader's fuzzing: records that lie about sizes and counts,
names the device refuses, UTF-8 names and Unix folder entries."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile


def build(path, entries, stored=False):
    method = zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED
    with zipfile.ZipFile(path, "w", method) as z:
        for name, data, attr in entries:
            info = zipfile.ZipInfo(name, (2024, 5, 17, 12, 0, 0))
            info.create_system = 3
            info.external_attr = attr
            info.compress_type = method
            z.writestr(info, data)


def patch(path, edits):
    data = bytearray(open(path, "rb").read())
    for offset, fmt, value in edits(data):
        struct.pack_into(fmt, data, offset, value)
    open(path, "wb").write(bytes(data))


def end_record(data):
    return data.rfind(b"PK\x05\x06")


def main(out):
    os.makedirs(out, exist_ok=True)
    f = lambda name: os.path.join(out, name)
    file_attr = 0o100644 << 16

    # A stored entry claiming more data than it has (small, for the fuzzer's
    # length limit; the tests use one past a whole buffer).
    build(f("stored-size-lie.zip"),
          [("main.exe", os.urandom(4000), file_attr), ("rest.bin", os.urandom(6000), file_attr)],
          stored=True)
    patch(f("stored-size-lie.zip"), lambda d: [(18, "<I", 9010),
                                               (d.find(b"PK\x01\x02") + 20, "<I", 9010)])

    # An end record that counts one entry of three.
    build(f("short-end-record.zip"), [(n, n * 20, file_attr) for n in ("a.txt", "b.txt", "c.txt")])
    patch(f("short-end-record.zip"),
          lambda d: [(end_record(d) + 8, "<H", 1), (end_record(d) + 10, "<H", 1)])

    # Python marks non-ASCII names as UTF-8 (flag bit 11).
    build(f("utf8-names.zip"), [("Überblick.txt", "overview", file_attr),
                                ("日本/地図.bin", "map", file_attr)])

    # Made on Unix with only the DOS folder bit, and a file below it.
    build(f("unix-folder-dos-bit.zip"), [("Maps/", "", 0x10), ("Maps/area.bin", "area", file_attr)])

    # Names the device refuses, and a file and a folder of one name.
    build(f("refused-names.zip"), [("../../Windows/x.dll", "x", file_attr),
                                   ("a:b.txt", "x", file_attr),
                                   ("n" * 260, "x", file_attr),
                                   ("Data", "x", file_attr),
                                   ("data/y.txt", "y", file_attr)])

    seven = shutil.which("7zz")
    if seven:
        with tempfile.TemporaryDirectory() as work:
            for name, text in (("Überblick.txt", "overview"), ("日本/地図.bin", "map")):
                os.makedirs(os.path.dirname(os.path.join(work, name)), exist_ok=True)
                open(os.path.join(work, name), "w").write(text)
            target = os.path.abspath(f("seven-utf8-names.zip"))
            if os.path.exists(target):
                os.remove(target)
            subprocess.run([seven, "a", "-tzip", "-mem=ZipCrypto", "-p.TORVA.", target, "."],
                           cwd=work, check=True, stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    main(sys.argv[1])
