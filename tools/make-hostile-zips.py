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

    # Names the file system would write under another name, and folder
    # entries that carry data.
    build(f("dropped-dots.zip"), [("a.txt.", "x", file_attr), ("Res./x", "x", file_attr),
                                  ("Res /y", "y", file_attr)])
    dir_attr = (0o40755 << 16) | 0x10
    build(f("folders-with-data.zip"), [("main.exe", "x", file_attr), ("Res/", "abc", dir_attr),
                                       ("/", "abc", dir_attr)])

    # Two entries, one destination: the same name, case only, two spellings
    # of one path, two encodings of one text.
    with zipfile.ZipFile(f("one-destination.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name in ("main.exe", "MAIN.EXE", "Res//a", "Res/a"):
            z.writestr(name, "300 KB once" if name == "main.exe" else "")
    # "Ü.txt" in UTF-8 (flagged), and as the byte 0xDC unflagged, which the
    # device's CP1252 reads as the same letter.
    with zipfile.ZipFile(f("same-decoded-text.zip"), "w") as z:
        z.writestr("\u00dc.txt", "utf-8")
        z.writestr("#.txt", "cp1252")
    data = open(f("same-decoded-text.zip"), "rb").read().replace(b"#.txt", b"\xdc.txt")
    open(f("same-decoded-text.zip"), "wb").write(data)

    # A bomb: 64 MB of zeros declared, 64 KB stored, with a CRC that fails.
    with zipfile.ZipFile(f("bomb.zip"), "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        z.writestr("main.exe", bytes(64 << 20))
    patch(f("bomb.zip"), lambda d: [(14, "<I", 0x12345678),
                                    (d.find(b"PK\x01\x02") + 16, "<I", 0x12345678)])

    # What the reader cannot read: ZIP64 records, LZMA, nothing but folders.
    with zipfile.ZipFile(f("zip64.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        with z.open("main.exe", "w", force_zip64=True) as entry:
            entry.write(b"new main")
    with zipfile.ZipFile(f("lzma.zip"), "w", zipfile.ZIP_LZMA) as z:
        z.writestr("big.bin", "x" * 1000)
    build(f("only-folders.zip"), [("Res/", "", dir_attr), ("Maps/", "", dir_attr)])

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
