"""The inputs of every benchmark: file trees, ZipCrypto packages made by
Info-ZIP's `zip -P`, device roots and image sets. Everything is generated
from fixed seeds, so two runs measure the same bytes."""
import os
import random
import shutil
import subprocess

PASSWORD = '.TORVA.'
MODEL = 'KTR 60'
PACKAGE_NAME = MODEL + ' SHELL.ZIP'
FLASH = 'Flash Disk'
CARD = 'Storage Card'

DEVICE_INI = """[power]
ac_line = 1
[board]
revision = 3
[drivers]
SCD1 = flash
PWR1 = power
[kernel]
coredll = yes
toolhelp = yes
[locale]
acp = CP1252
[fs]
capacity = 0
"""

REGISTRY = """Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Ident]
"Model"="%s"

[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\FlashDrv]
"Folder"="%s"
""" % (MODEL, FLASH)


# The device's registry asking for the in-place install instead of the staged one.
IN_PLACE = """
[HKEY_LOCAL_MACHINE\\Software\\fitkit]
"ShellInstall"="in-place"
"""


def _text_pool(rng, size):
    words = [bytes(rng.choice(b'abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9)))
             for _ in range(3000)]
    text = bytearray()
    while len(text) < size:
        text += b' '.join(rng.choices(words, k=32)) + b'\r\n'
    return bytes(text)


class Content:
    """Text (compresses about 3:1) and random bytes (does not compress)."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.text = _text_pool(self.rng, 4 << 20)

    def bytes(self, size, text):
        if not text:
            return self.rng.randbytes(size)
        start = self.rng.randrange(0, len(self.text) - size)
        return self.text[start:start + size]


def _write(path, data):
    with open(path, 'wb') as out:
        out.write(data)


def _zip(package, source, paths, stored=False):
    """Adds `paths` (relative to `source`) to `package` with ZipCrypto."""
    args = ['zip', '-q', '-r', '-X', '-P', PASSWORD]
    if stored:
        args.append('-0')
    subprocess.run(args + [package] + paths, cwd=source, check=True,
                   env=dict(os.environ, TZ='UTC'))


def one_folder_tree(root, files=20000):
    """`files` files of 0 to 50 bytes, all in one folder."""
    content = Content(11)
    folder = os.path.join(root, 'Data')
    os.makedirs(folder)
    for i in range(files):
        size = content.rng.randint(0, 50)
        _write(os.path.join(folder, 'item%05d.txt' % i), content.bytes(size, True))
    return ['Data']


def small_files_tree(root, files=20000, folders=200):
    """`files` files of 0.2 to 4 KB spread over `folders` folders, half text."""
    content = Content(12)
    for i in range(files):
        folder = os.path.join(root, 'Res', 'set%03d' % (i % folders))
        os.makedirs(folder, exist_ok=True)
        size = content.rng.randint(200, 4000)
        text = i % 2 == 0
        name = 'file%05d.%s' % (i, 'txt' if text else 'bin')
        _write(os.path.join(folder, name), content.bytes(size, text))
    return ['Res']


def twin_tree(root, files=2000, size=120000):
    """`files` / 2 contents of `size` bytes (half text, half random), each
    once under Deflated/ and once, as the same file, under Stored/."""
    content = Content(13)
    for i in range(files // 2):
        sub = 'd%02d' % (i % 20)
        for top in ('Deflated', 'Stored'):
            os.makedirs(os.path.join(root, top, sub), exist_ok=True)
        text = i % 2 == 0
        name = 'file%04d.%s' % (i, 'txt' if text else 'bin')
        first = os.path.join(root, 'Deflated', sub, name)
        _write(first, content.bytes(size, text))
        os.link(first, os.path.join(root, 'Stored', sub, name))
    return None


def large_files_tree(root, megabytes, file_mb=4):
    """Random files of `file_mb` MB: a large package that zip stores."""
    rng = random.Random(14)
    os.makedirs(os.path.join(root, 'Maps'))
    for i in range(megabytes // file_mb):
        _write(os.path.join(root, 'Maps', 'tile%04d.map' % i), rng.randbytes(file_mb << 20))
    return ['Maps']


def make_package(package, make_tree, work, **kwargs):
    """Builds the tree in a scratch folder and zips it; returns the entry count."""
    source = os.path.join(work, 'src-' + os.path.basename(package))
    shutil.rmtree(source, ignore_errors=True)
    os.makedirs(source)
    paths = make_tree(source, **kwargs)
    if paths is None:  # deflated and stored twins
        _zip(package, source, ['Deflated'])
        _zip(package, source, ['Stored'], stored=True)
    else:
        _zip(package, source, paths)
    shutil.rmtree(source)


def device_root(root, package=None):
    """A fresh device root: device.ini, registry, empty flash drive and storage
    card; the package (a path) is copied to the card under its required name,
    with the shellfit program next to it so that `/force` finds it."""
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(os.path.join(root, 'fs', FLASH))
    os.makedirs(os.path.join(root, 'fs', CARD))
    _write(os.path.join(root, 'device.ini'), DEVICE_INI.encode())
    _write(os.path.join(root, 'registry.reg'), REGISTRY.encode())
    if package is not None:
        os.link(package, os.path.join(root, 'fs', CARD, PACKAGE_NAME))
    return root


def old_files_tree(target, files=100000, fanout=(10, 10, 10)):
    """`files` small old files in nested folders (fanout levels deep), with a
    registry hive that the deletion keeps."""
    rng = random.Random(15)
    leaves = []
    for a in range(fanout[0]):
        for b in range(fanout[1]):
            for c in range(fanout[2]):
                leaves.append(os.path.join(target, 'App%02d' % a, 'Part%02d' % b, 'Sub%02d' % c))
    per_leaf = files // len(leaves)
    old = 1262304000  # 2010-01-01
    for leaf in leaves:
        os.makedirs(leaf)
        for i in range(per_leaf):
            path = os.path.join(leaf, 'old%03d.dat' % i)
            _write(path, b'x' * rng.randint(0, 600))
            os.utime(path, (old, old))
    _write(os.path.join(target, 'user.hv'), b'hive')


def image_set(update, writer, kernel_mb):
    """Boot loaders, four BIN images (the kernel `kernel_mb` MB) and the version."""
    os.makedirs(update, exist_ok=True)
    _write(os.path.join(update, 'nboot.bin'), b'N' * 16384)
    _write(os.path.join(update, 'eboot.nb0'), b'E' * 262144)
    images = [('drivers.bin', 0x80000000, 1 << 20, 1), ('tinynk.bin', 0x80100000, 256 << 10, 2),
              ('nk.bin', 0x80200000, kernel_mb << 20, 3), ('chain.bin', 0xA0000000, 64 << 10, 4)]
    for name, start, size, seed in images:
        subprocess.run([writer, '--start', hex(start), '--size', str(size), '--record-size',
                        '65536', '--seed', str(seed), os.path.join(update, name)],
                       check=True, stdout=subprocess.DEVNULL)
    _write(os.path.join(update, MODEL + '.ini'), b'V1.0.7\r\n')
