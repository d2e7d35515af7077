"""Runs programs side by side: each repeat runs every tool once, in an order
that rotates from repeat to repeat, and records wall time and the peak
resident set of each process (from wait4's rusage)."""
import os
import signal
import statistics
import subprocess
import threading
import time


class Tool:
    """One side of a comparison: `steps` are commands run one after the
    other and timed together (unzip -t then unzip -o); `prepare` runs before
    each repeat, untimed (a fresh target folder)."""

    def __init__(self, name, steps, prepare=None, env=None, stdin=None, cwd=None,
                 cap=None, ok=(0,)):
        self.name = name
        self.steps = steps
        self.prepare = prepare
        self.env = env
        self.stdin = stdin
        self.cwd = cwd
        self.cap = cap  # seconds after which a run is stopped
        self.ok = ok
        self.times = []
        self.cpu = []  # user + system seconds of each run
        self.rss_kb = 0
        self.capped = False

    def median(self):
        return statistics.median(self.times) if self.times else None

    def cpu_median(self):
        return statistics.median(self.cpu) if self.cpu else None

    def spread(self):
        return (min(self.times), max(self.times)) if self.times else (None, None)


class RunFailed(Exception):
    pass


RSS_FILE = '/tmp/fitkit-bench-rss-%d.txt' % os.getpid()


def run_command(argv, env=None, stdin=None, cwd=None, cap=None):
    """(seconds, peak RSS in KB, exit status, stopped by the cap, CPU seconds).
    The peak RSS comes from /usr/bin/time: a process forked from this Python
    starts with Python's own high-water mark, and exec keeps it."""
    stdin_file = subprocess.PIPE if stdin is not None else subprocess.DEVNULL
    timed = ['/usr/bin/time', '-f', '%M', '-o', RSS_FILE] + argv
    started = time.monotonic()
    process = subprocess.Popen(timed, env=env, cwd=cwd, stdin=stdin_file,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    stopped = []
    timer = None
    if cap is not None:
        def stop():
            stopped.append(True)
            os.killpg(process.pid, signal.SIGKILL)
        timer = threading.Timer(cap, stop)
        timer.start()
    if stdin is not None:
        process.stdin.write(stdin)
        process.stdin.close()
    try:
        _, status, usage = os.wait4(process.pid, 0)
    except BaseException:
        # Interrupted (Ctrl-C reaches only this process): take the run along.
        os.killpg(process.pid, signal.SIGKILL)
        raise
    seconds = time.monotonic() - started
    process.returncode = os.waitstatus_to_exitcode(status)
    if timer is not None:
        timer.cancel()
    rss = 0
    if os.path.exists(RSS_FILE):
        with open(RSS_FILE) as text:
            lines = [line for line in text.read().split() if line.isdigit()]
        rss = int(lines[-1]) if lines else 0
        os.remove(RSS_FILE)
    cpu = usage.ru_utime + usage.ru_stime
    return seconds, rss, process.returncode, bool(stopped), cpu


def run_tool_once(tool):
    if tool.prepare is not None:
        tool.prepare()
    # What earlier runs wrote reaches the disk before the clock starts: a
    # program that flushes (the kit's barriers) pays for its own writes only.
    os.sync()
    total = cpu_total = 0.0
    for argv in tool.steps:
        left = None if tool.cap is None else max(1.0, tool.cap - total)
        seconds, rss, status, stopped, cpu = run_command(argv, tool.env, tool.stdin, tool.cwd,
                                                         left)
        total += seconds
        cpu_total += cpu
        tool.rss_kb = max(tool.rss_kb, rss)
        if stopped:
            tool.capped = True
            tool.times.append(total)
            tool.cpu.append(cpu_total)
            return
        if status not in tool.ok:
            raise RunFailed('%s: %s exited with %d' % (tool.name, ' '.join(argv), status))
    tool.times.append(total)
    tool.cpu.append(cpu_total)


def compare(tools, repeats, log, after_first=None, seconds=None):
    """Alternates the tools for up to `repeats` rounds; a tool stopped by its
    cap is not run again. With `seconds`, no round starts that would likely
    end past that many seconds from the start (the first always runs).
    `after_first` checks the results of the first round."""
    started = time.monotonic()
    for round_ in range(repeats):
        round_started = time.monotonic()
        order = tools[round_ % len(tools):] + tools[:round_ % len(tools)]
        for tool in order:
            if tool.capped:
                continue
            run_tool_once(tool)
            log('  %-28s %8.3f s  cpu %7.3f s%s' % (tool.name, tool.times[-1], tool.cpu[-1],
                                                   '  (stopped)' if tool.capped else ''))
        if round_ == 0 and after_first is not None:
            after_first()
        now = time.monotonic()
        if seconds is not None and (now - started) + (now - round_started) > seconds:
            break
    return tools


def tree_summary(folder):
    """{relative path: size} of every file below `folder`."""
    summary = {}
    for base, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(base, name)
            summary[os.path.relpath(path, folder)] = os.path.getsize(path)
    return summary


SYSCALLS = ['newfstatat', 'statx', 'newfstat', 'openat', 'close', 'read', 'write', 'lseek',
            'pread64', 'pwrite64', 'getdents64', 'fcntl', 'getxattr', 'fgetxattr', 'setxattr',
            'fsetxattr', 'lgetxattr', 'unlink', 'unlinkat', 'mkdir', 'rmdir', 'utimensat',
            'fchmod', 'fchmodat', 'chmod', 'readlink', 'ftruncate', 'futex', 'mmap', 'munmap',
            'brk', 'mprotect']


def syscalls(argv, env=None, stdin=None, cwd=None):
    """Counts the system calls of a run, threads and children included, with
    the kernel's syscall tracepoints (`perf stat`, no slow-down); {name: calls}
    plus 'all' for every kind together."""
    out = '/tmp/fitkit-bench-perf-%d.txt' % os.getpid()
    events = ['raw_syscalls:sys_enter'] + ['syscalls:sys_enter_' + name for name in SYSCALLS]
    command = ['perf', 'stat', '-x', ',', '-o', out, '-e', ','.join(events), '--'] + argv
    subprocess.run(command, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    counts = {}
    with open(out) as text:
        for line in text:
            fields = line.strip().split(',')
            if len(fields) >= 3 and fields[0].isdigit():
                name = fields[2].split(':')[1]
                name = 'all' if name == 'sys_enter' else name[len('sys_enter_'):]
                counts[name] = int(fields[0])
    os.remove(out)
    return counts
