"""The Linux side of a program run under Wine: starting it, finding the Linux process that runs
a given .exe in our prefix (and the prefix's wineserver), and reading memory and CPU from /proc.
Also runs our Windows tool and parses its "name value" lines."""
import os
import subprocess
import time


class ToolError(Exception):
    pass


# Commands that start Windows programs run behind this prefix (see keep_notice_local).
_launcher = []


def keep_notice_local(build):
    """The program asks its notice host at start-up. When the build names a host (not an
    address), every Wine command of ours runs in a mount namespace of its own whose /etc/hosts maps
    that host to 127.0.0.1 (WinINet resolves names through it, in the process that asks), so no
    request or name lookup leaves the machine. Needs root, as the end-to-end tests do."""
    host = None
    with open(os.path.join(build, 'CMakeCache.txt'), encoding='utf-8') as cache:
        for line in cache:
            if line.startswith('SITEMON_NOTICE_HOST:'):
                host = line.rstrip('\n').split('=', 1)[1]
    if not host or all(c.isdigit() or c == '.' for c in host):
        return
    hosts = os.path.join(build, 'reliability-hosts')
    with open(hosts, 'w', encoding='ascii') as f:
        f.write(f'127.0.0.1 localhost\n127.0.0.1 {host}\n')
    _launcher[:] = ['unshare', '--mount', 'sh', '-c', 'mount --bind "$0" /etc/hosts && exec "$@"', hosts]


def _read(path, mode='r'):
    try:
        with open(path, mode) as f:
            return f.read()
    except OSError:
        return None


def in_prefix(pid, prefix):
    environ = _read(f'/proc/{pid}/environ', 'rb')
    if environ and f'WINEPREFIX={prefix}'.encode() in environ.split(b'\0'):
        return True
    try:
        return os.path.realpath(f'/proc/{pid}/cwd') == os.path.realpath(prefix)
    except OSError:
        return False


def pids_running(exe_path, prefix):
    """Linux pids of the processes of our prefix whose command line names exe_path."""
    name = os.path.basename(exe_path).encode()
    found = []
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        cmdline = _read(f'/proc/{entry}/cmdline', 'rb')
        if not cmdline:
            continue
        first = cmdline.split(b'\0')[0]
        if first.endswith(name) and in_prefix(entry, prefix):
            found.append(int(entry))
    return found


def wait_pid(exe_path, prefix, timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        pids = pids_running(exe_path, prefix)
        if len(pids) == 1:
            return pids[0]
        time.sleep(0.05)
    raise ToolError(f'no single Linux process runs {exe_path} (found {pids_running(exe_path, prefix)})')


def wineserver_pid(prefix):
    for entry in os.listdir('/proc'):
        if entry.isdigit() and (_read(f'/proc/{entry}/comm') or '').startswith('wineserver') \
                and in_prefix(entry, prefix):
            return int(entry)
    return None


def memory(pid):
    """VmRSS, RssAnon and Private (Private_Clean + Private_Dirty of smaps_rollup), in KiB."""
    values = {}
    for line in (_read(f'/proc/{pid}/status') or '').splitlines():
        key, _, rest = line.partition(':')
        if key in ('VmRSS', 'RssAnon'):
            values[key] = int(rest.split()[0])
    private = 0
    for line in (_read(f'/proc/{pid}/smaps_rollup') or '').splitlines():
        if line.startswith(('Private_Clean:', 'Private_Dirty:')):
            private += int(line.split()[1])
    values['Private'] = private
    return values


def cpu_ticks(pid):
    """utime + stime of the whole process (all threads), in clock ticks."""
    stat = _read(f'/proc/{pid}/stat')
    if not stat:
        return None
    fields = stat.rsplit(')', 1)[1].split()
    return int(fields[11]) + int(fields[12])


def open_fds(pid):
    try:
        return len(os.listdir(f'/proc/{pid}/fd'))
    except OSError:
        return None


def tool(tool_exe, *args, timeout=300, check=True):
    """Runs our Windows tool under wine; returns its "name value" lines as a dict."""
    result = subprocess.run(_launcher + ['wine', tool_exe, *map(str, args)], capture_output=True, timeout=timeout,
                            stdin=subprocess.DEVNULL)
    values = {}
    for line in result.stdout.decode(errors='replace').splitlines():
        key, _, value = line.strip().partition(' ')
        if key:
            values[key] = value
    if check and result.returncode != 0:
        raise ToolError(f'{" ".join(map(str, args))}: exit {result.returncode}: {values}')
    return values


class Program:
    """SiteMonitor.exe started with wine; stopped (killed) by its owner if still running."""

    def __init__(self, exe, prefix):
        self.exe = exe
        self.proc = subprocess.Popen(_launcher + ['wine', exe], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.pid = wait_pid(exe, prefix)

    def running(self):
        return self.proc.poll() is None

    def wait(self, timeout):
        return self.proc.wait(timeout)

    def kill(self):
        if self.proc.poll() is None:
            try:
                os.kill(self.pid, 9)
            except OSError:
                pass
            self.proc.kill()
            self.proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()
