"""Writes the measured tables into docs/benchmarks.md, between two marker
lines; the hand-written notes around them stay as they are."""
import datetime
import os
import platform
import subprocess

BEGIN = '<!-- bench/run writes from here -->'
END = '<!-- bench/run writes up to here -->'


def _first_line(argv):
    try:
        out = subprocess.run(argv, capture_output=True, text=True).stdout
    except OSError:
        return 'missing'
    lines = [line.strip() for line in out.splitlines() if line.strip()]
    return lines[0] if lines else 'unknown'


def machine():
    cpu = 'unknown'
    with open('/proc/cpuinfo') as info:
        for line in info:
            if line.startswith('model name'):
                cpu = line.split(':', 1)[1].strip()
                break
    with open('/proc/meminfo') as info:
        memory = int(info.readline().split()[1]) // 1024
    return cpu, memory


def file_system(folder):
    """The type of the file system that holds `folder` (tmpfs, ext2/ext3 for ext4, ...)."""
    name = _first_line(['stat', '-f', '-c', '%T', folder])
    return 'ext4' if name == 'ext2/ext3' else name


def describe(work, disk=None):
    cpu, memory = machine()
    places = 'work folder on %s' % file_system(work)
    if disk is not None:
        places = 'work folders on %s (%s) and %s (%s)' % (file_system(work), work,
                                                          file_system(disk), disk)
    load = os.getloadavg()
    return [
        '- Date: %s UTC' % datetime.datetime.utcnow().strftime('%Y-%m-%d %H:%M'),
        '- Machine: %s, %d cores, %d MB memory; %s %s; %s' % (
            cpu, os.cpu_count(), memory, platform.system(), platform.release(), places),
        '- Load average at the start: %.2f %.2f %.2f (the cores are shared)' % load,
        '- Peers: %s; %s; Python %s' % (
            _first_line(['unzip', '-v']).split(' by ')[0].rstrip(','),
            _first_line(['7zz']).split(':')[0].strip(), platform.python_version()),
    ]


def seconds(tool):
    if tool.capped:
        return '> %.0f s (stopped)' % tool.times[-1]
    median = tool.median()
    low, high = tool.spread()
    cpu = ', CPU %.2f s' % tool.cpu_median()
    if len(tool.times) == 1:
        return '%.2f s%s' % (median, cpu)
    return '%.2f s (%.2f-%.2f)%s' % (median, low, high, cpu)


def comparison_row(case, goal):
    kit, peers = case['tools'][0], case['tools'][1:]
    fastest = min(peers, key=lambda t: t.median())
    ratio = kit.median() / fastest.median()
    cpu_ratio = kit.cpu_median() / min(t.cpu_median() for t in peers)
    met = 'no' if kit.capped or ratio > goal else 'yes'
    if not kit.capped:
        met += ' (CPU: %s)' % ('no' if cpu_ratio > goal else 'yes')
    ratio_text = ('> %.0fx' % ratio) if kit.capped else '%.2fx (CPU %.2fx)' % (ratio, cpu_ratio)
    peer_text = '<br>'.join('%s: %s' % (t.name, seconds(t)) for t in peers)
    goal_text = '%.2f' % goal
    if goal_text.endswith('0'):
        goal_text = goal_text[:-1]
    return '| %s | %s | %s | %s | %s | %sx | %s |' % (
        case['label'], case.get('fs', ''), seconds(kit), peer_text, ratio_text, goal_text, met)


def tables(cases, goals, rss, calls, elapsed, work, disk=None):
    lines = describe(work, disk) + [
        '- Each cell: median wall time of the repeats, the fastest and slowest in brackets, and '
        'the median CPU time (user + system); the tools alternate within every repeat. The '
        'ratio compares wall times with the fastest peer (CPU: with the least CPU time). '
        'Total run time of bench/run: %.0f s.' % elapsed,
        '',
        '| workload | file system | kit | peers | kit / fastest peer | goal | met |',
        '|---|---|---|---|---|---|---|',
    ]
    for case, goal in zip(cases, goals):
        lines.append(comparison_row(case, goal))
    lines += ['', 'Peak resident set (from /usr/bin/time), one run each, on %s:'
              % file_system(work), '',
              '| program | input | peak RSS |', '|---|---|---|']
    for entry in rss:
        lines.append('| %s | %s | %.1f MB |' % (entry['program'], entry['input'],
                                                 entry['rss_kb'] / 1024))
    if calls:
        lines += ['', 'System calls per file written (kernel tracepoints through `perf stat`, '
                  'threads included; %d-file package in 200 folders, the whole run):'
                  % calls['files'], '',
                  '| program | calls per file | largest kinds per file |', '|---|---|---|']
        for name in ('kit', 'unzip'):
            counts = dict(calls[name])
            total = counts.pop('all', sum(counts.values())) / calls['files']
            top = sorted(counts.items(), key=lambda item: -item[1])[:7]
            kinds = ', '.join('%s %.1f' % (k, v / calls['files']) for k, v in top if v)
            label = 'shellfit /force' if name == 'kit' else 'unzip -o'
            lines.append('| %s | %.1f | %s |' % (label, total, kinds))
    return lines


def write(path, lines):
    head = ['# Benchmarks', '', 'Measured by `bench/run`; everything between the two markers '
            'is rewritten by each run.', '']
    tail = []
    if os.path.exists(path):
        with open(path) as old:
            text = old.read().split('\n')
        if BEGIN in text and END in text:
            head = text[:text.index(BEGIN)]
            tail = text[text.index(END) + 1:]
    with open(path, 'w') as out:
        out.write('\n'.join(head + [BEGIN] + lines + [END] + tail).rstrip('\n') + '\n')
