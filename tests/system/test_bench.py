"""The performance bench of SiteMonitor.exe under Wine (script/bench builds the programs and
runs it: -m bench -s, --curl-bench <native curl_probe_bench>, --quick for short CPU windows).
Prints one table with the date; the test fails only when a measurement cannot be taken.

Every server is a loopback server started and stopped here; nothing leaves the machine."""
import datetime
import os
import statistics
import subprocess
import sys
import time

import pytest

from .checks import EXIT_BY_CLOSE, check
from .servers import STANDARD
from .wine import cpu_ticks, memory, wait_pid

KIB = 1024
MIB = 1024 * 1024
SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comctl32.dll', 'shell32.dll', 'shlwapi.dll',
               'ole32.dll', 'wininet.dll', 'sensapi.dll', 'ws2_32.dll', 'advapi32.dll', 'msvcrt.dll',
               'comdlg32.dll', 'oleaut32.dll', 'uxtheme.dll', 'version.dll'}
# The check-interval list's positions: 0 is 30 seconds, 5 is 15 minutes (no probe within a
# minute: the workers only tick).
INTERVAL_30S, INTERVAL_15MIN = 0, 5


class Bench:
    def __init__(self, wine, programs, curl, quick):
        self.wine = wine
        self.exe = programs.program
        self.tool_exe = programs.tool
        self.curl = curl
        self.prefix = wine.prefix
        self.rows = []
        self.notes = []
        self.quick = quick

    def tool(self, *args, **kw):
        return self.wine.tool(self.tool_exe, *args, **kw)

    def row(self, what, value, target, met):
        verdict = '' if met is None else ('met' if met else 'MISSED')
        self.rows.append((what, value, target, verdict))
        print(f'  {what}: {value} (target {target}) {verdict}', file=sys.stderr, flush=True)

    # 1. The probe: ours against the bare WinINet loop, and native libcurl.
    def probe(self, server):
        url = server.url('/ok')
        runs = [self.tool('probe-compare', url, 50) for _ in range(3)]
        ours = statistics.median(float(r['ours_median_ms']) for r in runs)
        bare = statistics.median(float(r['bare_median_ms']) for r in runs)
        direct = statistics.median(float(r['direct_median_ms']) for r in runs)
        ratios = [float(r['ours_median_ms']) / float(r['bare_median_ms']) for r in runs]
        curl = float(subprocess.run([self.curl, url, '50'], capture_output=True, text=True, check=True,
                                    timeout=120).stdout.split()[1])
        ratio = statistics.median(ratios)
        self.row('probe, worker path (WinINet on a pool thread, waited for at most 30 s), median of 50',
                 f'{ours:.2f} ms', '', None)
        self.row('the same WinINet calls made on the calling thread (ProbeUrlWinInet), median of 50',
                 f'{direct:.2f} ms', '', None)
        self.row('probe, bare WinINet loop, same calls and flags, median of 50', f'{bare:.2f} ms', '', None)
        self.row('our overhead: worker path / bare loop (median of 3 runs: '
                 + ', '.join(f'{r:.3f}' for r in ratios) + ')', f'{ratio:.3f}x', '<= 1.05x', ratio <= 1.05)
        self.row('anchor: libcurl natively on Linux, fresh handle per probe, median of 50',
                 f'{curl:.2f} ms (WinINet under Wine: {bare / curl:.1f}x)', '', None)

    def big_page(self, server):
        r = self.tool('probe-time', server.url('/big'), 3)
        self.row('probe of a 10 MB page (status only; Wine drains the body at close), median of 3',
                 f'{float(r["median_ms"]):.0f} ms, status {r["status"]}', '', None)

    # 2. Memory, idle CPU and Stop of the real program.
    def settle(self, pid, seconds=3):
        time.sleep(seconds)  # lets start-up work (notice request, first paints) finish
        return memory(pid)

    def program(self, server):
        with self.wine.start(self.exe) as program:
            self.tool('counts')  # waits for the main window
            m0 = self.settle(program.pid)
            self.tool('run', server.url('/'), 10, INTERVAL_15MIN)
            m10 = self.settle(program.pid)
            self.tool('stop-time')
            self.tool('run', server.url('/'), 40, INTERVAL_15MIN)
            m40 = self.settle(program.pid)
            for key in ('Private', 'RssAnon'):
                per10 = (m10[key] - m0[key]) / 10
                per40 = (m40[key] - m0[key]) / 40
                self.row(f'memory ({key}, KiB) with 0 / 10 / 40 sites',
                         f'{m0[key]} / {m10[key]} / {m40[key]}', '', None)
                self.row(f'cost per added site ({key}): 0->10, 0->40',
                         f'{per10:.0f} KiB, {per40:.0f} KiB', '<= 64 KiB', max(per10, per40) <= 64)
            self.idle_cpu(program.pid, '40 sites, 15-minute interval (workers tick, no probe)')
            stops = [float(self.tool('stop-time')['stop_ms'])]
            for _ in range(2):
                self.tool('run', server.url('/'), 40, INTERVAL_15MIN)
                time.sleep(1)
                stops.append(float(self.tool('stop-time')['stop_ms']))
            self.row('Stop with 40 sites, click to Start enabled, no request in flight (3 runs)',
                     ' / '.join(f'{s:.0f}' for s in stops) + ' ms', '<= 1.2 s', max(stops) <= 1200)
            if not self.quick:
                before = len(server.requests)
                self.tool('run', server.url('/'), 40, INTERVAL_30S)
                self.idle_cpu(program.pid, '40 sites, 30-second interval (probing)')
                self.notes.append(f'the probing CPU window saw {len(server.requests) - before} requests')
                self.tool('stop-time')
            self.tool('close')
            code = program.wait_exit(20)
            check(code == EXIT_BY_CLOSE, f'the program ended with {code} after close')

    # Anchors for memory and CPU: plain Wine threads in a program of ours, without SiteMonitor.
    def thread_anchor(self):
        def sample(count, what):
            proc = subprocess.Popen(['wine', self.tool_exe, 'threads', str(count), what, '14'],
                                    stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                pid = wait_pid(self.tool_exe, self.prefix)
                proc.stdout.readline()  # "ready": the threads exist
                time.sleep(3)
                private = memory(pid)['Private']
                server_pid = self.wine.wineserver_pid()
                hz = os.sysconf('SC_CLK_TCK')
                p0, s0, t0 = cpu_ticks(pid), cpu_ticks(server_pid), time.monotonic()
                time.sleep(8)
                p1, s1, t1 = cpu_ticks(pid), cpu_ticks(server_pid), time.monotonic()
                return private, 100.0 * (p1 - p0) / hz / (t1 - t0), 100.0 * (s1 - s0) / hz / (t1 - t0)
            finally:
                proc.wait(60)
        base = sample(1, 'sleep')
        sleeping = sample(41, 'sleep')
        ticking = sample(41, 'worker')
        self.row('anchor: 40 more bare Wine threads that only Sleep(1000): Private per thread; CPU program / wineserver',
                 f'{(sleeping[0] - base[0]) / 40:.0f} KiB; {sleeping[1]:.2f} % / {sleeping[2]:.2f} %', '', None)
        self.row('anchor: 40 more threads doing the worker\'s tick (network probe + Sleep(1000)): same',
                 f'{(ticking[0] - base[0]) / 40:.0f} KiB; {ticking[1]:.2f} % / {ticking[2]:.2f} %', '', None)
        costs = self.tool('tick-cost', 200)
        self.row('one network probe (InternetGetConnectedState + IsNetworkAlive), wall / CPU of the caller',
                 f'{float(costs["network_probe_wall_ms"]):.2f} ms / {float(costs["network_probe_cpu_ms"]):.2f} ms '
                 f'(InternetGetConnectedState alone {float(costs["connected_state_cpu_ms"]):.2f} ms CPU, '
                 f'IsNetworkAlive {float(costs["network_alive_cpu_ms"]):.2f} ms)', '', None)

    def idle_cpu(self, pid, label):
        server_pid = self.wine.wineserver_pid()
        hz = os.sysconf('SC_CLK_TCK')
        seconds = 20 if self.quick else 60
        time.sleep(2)
        p0, s0, t0 = cpu_ticks(pid), cpu_ticks(server_pid) if server_pid else None, time.monotonic()
        time.sleep(seconds)
        p1, s1, t1 = cpu_ticks(pid), cpu_ticks(server_pid) if server_pid else None, time.monotonic()
        own = 100.0 * (p1 - p0) / hz / (t1 - t0)
        share = 100.0 * (s1 - s0) / hz / (t1 - t0) if s0 is not None and s1 is not None else float('nan')
        self.row(f'CPU over {seconds} s, {label}: program / wineserver',
                 f'{own:.2f} % / {share:.2f} % of one core', '< 0.5 %', own + share < 0.5)

    # 3. The executable.
    def executable(self):
        size = os.path.getsize(self.exe)
        dump = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', self.exe], capture_output=True, text=True,
                              check=True).stdout
        imports = sorted({line.split(':', 1)[1].strip().lower() for line in dump.splitlines()
                          if 'DLL Name:' in line})
        foreign = [d for d in imports if d not in SYSTEM_DLLS and not d.startswith('api-ms-win-')]
        beside = sorted(f for f in os.listdir(os.path.dirname(self.exe)) if f.lower().endswith('.dll'))
        self.row('SiteMonitor.exe size', f'{size} bytes ({size / MIB:.2f} MiB)', '<= 1.5 MiB', size <= 1.5 * MIB)
        self.row('imports (objdump -p)', ', '.join(imports), 'system DLLs only', not foreign)
        self.row('DLLs beside the exe', ', '.join(beside) or 'none', 'none', not beside)
        r = self.tool('start-visible', self.exe, 5)
        starts = [float(r[f'start_{i}_ms']) for i in range(5)]
        self.row('start to visible main window, median of 5 (' + ', '.join(f'{s:.0f}' for s in starts) + ')',
                 f'{float(r["median_ms"]):.0f} ms', '<= 0.5 s', float(r['median_ms']) <= 500)

    def table(self):
        now = datetime.datetime.now().astimezone()
        load = open('/proc/loadavg').read().split()[:3]
        lines = [f'Measured {now:%Y-%m-%d %H:%M %Z} under Wine {wine_version()} on {os.cpu_count()} shared cores '
                 f'(load average at the end: {" ".join(load)}).', '',
                 '| measure | value | target | |', '|---|---|---|---|']
        lines += [f'| {w} | {v} | {t} | {m} |' for w, v, t, m in self.rows]
        if self.notes:
            lines += [''] + [f'Note: {n}.' for n in self.notes]
        return '\n'.join(lines)


def wine_version():
    try:
        return subprocess.run(['wine', '--version'], capture_output=True, text=True, timeout=30).stdout.strip()
    except OSError:
        return '?'


@pytest.mark.bench
def test_bench(wine, programs, loopback, pytestconfig):
    curl = pytestconfig.getoption('curl_bench')
    check(curl and os.path.isfile(curl), 'the bench needs --curl-bench <native curl_probe_bench>')
    bench = Bench(wine, programs, curl, pytestconfig.getoption('quick'))
    server = loopback(big_bytes=10 * MIB)
    server.set('', STANDARD['ok'])  # the runs' sites: 40 lines of the root fit in the editor's 1023
    print('probe', file=sys.stderr)
    bench.probe(server)
    bench.big_page(server)
    print('program', file=sys.stderr)
    bench.program(server)
    bench.thread_anchor()
    print('executable', file=sys.stderr)
    bench.executable()
    print(bench.table())
