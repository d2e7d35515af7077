"""An ext4 file system held in RAM: an image in /dev/shm, made with mkfs.ext4 and
loop-mounted. The kit's writes then go through real ext4 code (journal, flushes,
directory indexes) without a shared disk's noise, whose timings move by a factor
of five from run to run on this project's machine."""
import atexit
import os
import shutil
import subprocess
import tempfile

IMAGE = '/dev/shm/fitkit-bench-ext4.img'


def _run(command):
    return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)


def mount(size_gb, log):
    """The mount point of a fresh ext4 of `size_gb` GB in RAM, unmounted and
    removed when the program ends; None, said in the log, when it cannot be
    made here (it needs root, mkfs.ext4 and a free loop device)."""
    if os.geteuid() != 0:
        log('ext4 in RAM needs root (mount -o loop): not used')
        return None
    if not os.path.isdir('/dev/shm') or shutil.which('mkfs.ext4') is None:
        log('ext4 in RAM needs /dev/shm and mkfs.ext4: not used')
        return None
    point = tempfile.mkdtemp(prefix='fitkit-bench-ext4-')
    # Every block of the image is written now, so that its memory is there: a
    # block written for the first time would otherwise have the loop device
    # wait while the memory behind it is found and cleared (on this project's
    # virtual machine a first write to memory runs at 0.5 GB/s, a later one at
    # 4 GB/s; fallocate reserves the pages without touching them). A run that
    # flushes (the kit) pays that wait, one that leaves its writes in the page
    # cache (cp, unzip) does not. A real disk's blocks are there from the start.
    made = _run(['dd', 'if=/dev/zero', 'of=' + IMAGE, 'bs=4M', 'count=%d' % (size_gb * 256),
                 'status=none'])
    if made.returncode != 0:
        log('ext4 in RAM: the image could not be written whole (%s): sparse'
            % made.stderr.strip())
        made = _run(['truncate', '-s', '%dG' % size_gb, IMAGE])
    if made.returncode == 0:
        # An inode per 4 KB: the clean-ups keep every run's files until the
        # end (see Bench), over 600,000 of them in a whole run, more than the
        # default ratio gives 8 GB. No discard: it would hand the memory back.
        # Inode tables and journal zeroed now: left lazy, the kernel zeroes
        # them in the background for the first minutes after the mount, and
        # the flushes of those minutes queue behind it.
        made = _run(['mkfs.ext4', '-q', '-F', '-i', '4096', '-E',
                     'nodiscard,lazy_itable_init=0,lazy_journal_init=0', IMAGE])
    if made.returncode == 0:
        made = _run(['mount', '-o', 'loop', IMAGE, point])
    if made.returncode != 0:
        log('ext4 in RAM could not be made (%s): not used' % made.stderr.strip())
        os.rmdir(point)
        if os.path.exists(IMAGE):
            os.remove(IMAGE)
        return None

    def unmount():
        _run(['umount', point])
        os.rmdir(point)
        os.remove(IMAGE)
    atexit.register(unmount)
    log('ext4 in RAM: %d GB image %s mounted at %s' % (size_gb, IMAGE, point))
    return point
