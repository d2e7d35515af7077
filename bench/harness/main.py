"""bench/run's driver: makes the inputs, runs every comparison and writes
docs/benchmarks.md. Usage: main.py --build DIR --out FILE [--work DIR] [--scale N]"""
import argparse
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import ext4_in_ram  # noqa: E402
import inputs  # noqa: E402
import report  # noqa: E402
from cases import Bench  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--build', required=True)
    parser.add_argument('--out', required=True)
    # tmpfs by default: on this machine's ext4 mount (with `discard`) every
    # unlink of a file with data waits about 3 ms for the disk, which would
    # turn each clean-up and the deletion row into minutes of measuring the disk.
    shm = '/dev/shm' if os.path.isdir('/dev/shm') else os.environ.get('TMPDIR', '/tmp')
    parser.add_argument('--work', default=os.path.join(shm, 'fitkit-bench'))
    # The same comparisons again on the disk a device root usually lies on.
    parser.add_argument('--disk', default='/var/tmp/fitkit-bench',
                        help='a second work folder on another file system, "ext4-ram" for '
                             'ext4 held in RAM, or "none"')
    parser.add_argument('--scale', type=float, default=1.0,
                        help='multiplies every repeat count and time share')
    parser.add_argument('--keep', action='store_true', help='keep the generated packages')
    parser.add_argument('--only', choices=('one-folder', 'small', 'twins', 'signed', 'delete',
                                           'imagefit'),
                        help='run one comparison, print it and leave the document alone')
    args = parser.parse_args()
    started = time.monotonic()

    def log(text):
        print('[%4.0f s] %s' % (time.monotonic() - started, text), flush=True)

    def repeats(n):
        return max(1, round(n * args.scale))

    def budget(seconds):
        return seconds * args.scale

    # "ext4-ram" for either folder: an ext4 image in /dev/shm, loop-mounted;
    # where that cannot be made, tmpfs for the work folder and no second pass.
    point = None
    if 'ext4-ram' in (args.work, args.disk):
        point = ext4_in_ram.mount(8, log)
        if args.work == 'ext4-ram':
            args.work = os.path.join(point or shm, 'fitkit-bench')
        if args.disk == 'ext4-ram':
            args.disk = os.path.join(point, 'fitkit-bench') if point else 'none'
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)

    # The ext4 in RAM has a journal: it reuses freed inodes at once, and it
    # has no room to keep a whole run's files (see Bench).
    def keeps_aside(folder):
        in_ram = point is not None and folder.startswith(point)
        return report.file_system(folder) != 'tmpfs' and not in_ram

    bench = Bench(os.path.abspath(args.build), work, log, aside=keeps_aside(work))
    if args.only:
        run_one(bench, args.only, repeats, budget)
        shutil.rmtree(os.path.join(work, 'trash'), ignore_errors=True)
        return
    cases, goals = comparisons(bench, repeats, budget, 100000, with_python=True)
    disk = None if args.disk == 'none' else os.path.abspath(args.disk)
    if disk is not None and report.file_system(disk) == report.file_system(work):
        disk = None
    if disk is not None:
        os.makedirs(disk, exist_ok=True)
        log('the same on %s (%s)' % (disk, report.file_system(disk)))
        disk_bench = Bench(os.path.abspath(args.build), disk, log, aside=keeps_aside(disk))
        # Copied, not made again: making one deletes its source tree, which
        # would slow the creations of the first round there (see Bench).
        for name in os.listdir(bench.packages):
            if name.endswith('.zip') and not os.path.exists(os.path.join(disk_bench.packages, name)):
                shutil.copy(os.path.join(bench.packages, name), disk_bench.packages)
        # Each unlink of a file with data waits for the disk's discard there:
        # fewer rounds, and a fifth of the old files.
        more, more_goals = comparisons(disk_bench, lambda n: repeats(max(1, n // 2)),
                                       lambda s: budget(s * 0.6), 20000, with_python=False)
        cases += more
        goals += more_goals

    rss = []
    for package, files in ((bench.packages_made['small'], '20,000 files'),
                           (bench.packages_made['twins'], '2,000 files'),
                           (bench.package('large-500mb', inputs.large_files_tree,
                                          megabytes=500), None)):
        for in_place in (False, True):
            entry = bench.peak_rss(package, in_place)
            label = '%.0f MB package' % entry['package_mb']
            rss.append({'program': 'shellfit /force, ' + ('in place' if in_place else 'staged'),
                        'input': label + (' of %s' % files if files else ''),
                        'rss_kb': entry['tool'].rss_kb})
    for case in (bench.image_small, bench.image_large):
        rss.append({'program': 'imagefit', 'input': case['label'].split(', ', 1)[1],
                    'rss_kb': case['tools'][0].rss_kb})
    calls = None
    if shutil.which('perf'):
        log('system calls per file (perf stat)')
        calls = bench.calls_per_file(bench.packages_made['small'], 20000)

    elapsed = time.monotonic() - started
    report.write(args.out, report.tables(cases, goals, rss, calls, elapsed, work, disk))
    log('wrote %s' % args.out)
    for folder in (work, disk):
        if folder is None:
            continue
        for name in os.listdir(folder):
            if name != 'packages' or not args.keep:
                shutil.rmtree(os.path.join(folder, name), ignore_errors=True)


def comparisons(bench, repeats, budget, old_files, with_python):
    """Every comparison in the work folder of `bench`: the cases and their goals."""
    one_folder = bench.package('one-folder-20000', inputs.one_folder_tree)
    small = bench.package('small-20000', inputs.small_files_tree)
    twins = bench.package('twins-2000', inputs.twin_tree)
    bench.packages_made = {'small': small, 'twins': twins}

    # Repeats and seconds per comparison: rounds go on while they fit the
    # seconds, so a loaded machine gets fewer repeats, not a longer run.
    cases, goals = [], []
    case = bench.extraction('20,000 files of 0-50 bytes in one folder', one_folder,
                            repeats(5), budget(90), cap=45)
    cases.append(case), goals.append(1.0)
    case = bench.extraction('20,000 files of 0.2-4 KB in 200 folders', small, repeats(5),
                            budget(110))
    cases.append(case), goals.append(0.7)
    case = bench.extraction('2,000 files (1,000 deflated + their stored twins)', twins,
                            repeats(5), budget(170))
    if with_python:
        twin_sample = bench.package('twins-40', inputs.twin_tree, files=40)
        sample_mb = os.path.getsize(twin_sample) / 1e6
        python = bench.python_sample(twin_sample, case['package_mb'] / sample_mb)
        python.name += ' (one run on a %.0f MB sample, scaled)' % sample_mb
        case['tools'].append(python)
    case['label'] += ', %.0f MB ZipCrypto' % case['package_mb']
    cases.append(case), goals.append(0.25)
    if with_python:
        case = bench.signed_extraction('the same %.0f MB package, signed, on a device that '
                                       'requires it' % case['package_mb'], twins, repeats(5),
                                       budget(170))
        cases.append(case), goals.append(0.7)
    cases.append(bench.deletion(old_files, repeats(5), budget(100))), goals.append(1.2)
    bench.image_small = bench.imagefit(64, repeats(5), budget(25))
    bench.image_large = bench.imagefit(256, repeats(7), budget(60), signed_too=True)
    cases.append(bench.image_large), goals.append(1.2)
    for case in cases:
        case['fs'] = report.file_system(bench.work)
    return cases, goals


def run_one(bench, name, repeats, budget):
    """One comparison alone, for measuring a change while working on it."""
    if name == 'one-folder':
        case = bench.extraction('one folder', bench.package('one-folder-20000',
                                inputs.one_folder_tree), repeats(5), budget(90), cap=45)
    elif name == 'small':
        case = bench.extraction('small files', bench.package('small-20000',
                                inputs.small_files_tree), repeats(5), budget(110))
    elif name == 'twins':
        case = bench.extraction('twins', bench.package('twins-2000', inputs.twin_tree),
                                repeats(5), budget(170))
    elif name == 'signed':
        case = bench.signed_extraction('signed twins', bench.package('twins-2000',
                                       inputs.twin_tree), repeats(5), budget(170), True)
    elif name == 'delete':
        # A fifth of the files on a disk, as in the whole run.
        case = bench.deletion(20000 if bench.aside else 100000, repeats(5), budget(100))
    else:
        case = bench.imagefit(256, repeats(7), budget(60), signed_too=True)
    for tool in case['tools']:
        print('%-32s %s' % (tool.name, report.seconds(tool)))


if __name__ == '__main__':
    main()
