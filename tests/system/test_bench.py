"""The performance bench of SiteMonitor.exe under Wine (script/bench builds the programs and
runs it: -m bench -s, --curl-bench <native curl_probe_bench>, --quick for short CPU windows).
Prints one table with the date; the test fails only when a measurement cannot be taken.

Every figure is given as a ratio to an anchor measured in the same run, on the same machine,
interleaved with it where the two can take turns: the machine is shared, and only the ratio to
something that suffered the same load is comparable from run to run.

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
from .wine import cpu_ticks, in_prefix, memory, read, wait_pid

KIB = 1024
MIB = 1024 * 1024
SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comctl32.dll', 'shell32.dll', 'shlwapi.dll',
               'ole32.dll', 'wininet.dll', 'sensapi.dll', 'ws2_32.dll', 'advapi32.dll', 'msvcrt.dll',
               'comdlg32.dll', 'oleaut32.dll', 'uxtheme.dll', 'version.dll'}
# The check-interval list's positions: 0 is 30 seconds, 5 is 15 minutes (no probe within a
# minute: the workers only tick).
INTERVAL_30S, INTERVAL_15MIN = 0, 5


# How many interleaved pairs of probes give the probe overhead (each pair takes some 70 ms).
PROBE_PAIRS, PROBE_PAIRS_QUICK = 600, 100
# The idle CPU: the program and the sleeping-thread anchor take turns, ROUNDS windows each.
ROUNDS, WINDOW_S, WINDOW_S_QUICK = 3, 20, 8
ANCHOR_THREADS = 40


def process_cpu(pid):
    """CPU seconds used so far by a process: the sum of its threads' run times (nanoseconds, from
    schedstat) by thread, and its clock-tick total, which also holds threads that have ended."""
    threads = {}
    try:
        tids = os.listdir(f'/proc/{pid}/task')
    except OSError:
        tids = []
    for tid in tids:
        stat = read(f'/proc/{pid}/task/{tid}/schedstat')
        if stat:
            threads[tid] = int(stat.split()[0]) / 1e9
    ticks = cpu_ticks(pid)
    return threads, (ticks or 0) / os.sysconf('SC_CLK_TCK')


def prefix_cpu(prefix):
    """process_cpu of every Linux process of the prefix, by pid, with their names."""
    found, names = {}, {}
    for entry in os.listdir('/proc'):
        if entry.isdigit() and in_prefix(entry, prefix):
            found[int(entry)] = process_cpu(entry)
            names[int(entry)] = (read(f'/proc/{entry}/comm') or '?').strip()
    return found, names


def cpu_used(before, after):
    """CPU seconds between two process_cpu readings: the threads' run times (a thread born in
    between counts from zero), unless the tick total says that more went to threads that ended."""
    threads = sum(t - before[0].get(tid, 0) for tid, t in after[0].items())
    ticks = after[1] - before[1]
    tick = 1 / os.sysconf('SC_CLK_TCK')
    return ticks if ticks > threads + 2 * tick else threads


class CpuWindow:
    """CPU of the measured process, of the wineserver and of the rest of the prefix (Wine's own
    services, explorer, the device host) over one window, in clock ticks."""

    def __init__(self, prefix, pid, seconds):
        before, _ = prefix_cpu(prefix)
        t0 = time.monotonic()
        time.sleep(seconds)
        after, names = prefix_cpu(prefix)
        self.seconds = time.monotonic() - t0
        delta = {p: cpu_used(before[p], after[p]) for p in after if p in before}
        server = [p for p in delta if names[p].startswith('wineserver')]
        self.own = delta.get(pid, 0)
        self.server = sum(delta[p] for p in server)
        self.rest = {}
        for p, d in delta.items():
            if p != pid and p not in server and d:
                self.rest[names[p]] = self.rest.get(names[p], 0) + d

    @property
    def total(self):  # the program (or the anchor) and the wineserver, in CPU seconds
        return self.own + self.server

    @property
    def everything(self):  # and the rest of the prefix
        return self.total + sum(self.rest.values())


def share(seconds_cpu, seconds_wall):
    return 100.0 * seconds_cpu / seconds_wall


def summed(windows):
    """Percent of one core over all windows: program (or anchor), wineserver, rest of the prefix."""
    wall = sum(w.seconds for w in windows)
    rest = {}
    for w in windows:
        for name, cpu in w.rest.items():
            rest[name] = rest.get(name, 0) + cpu
    return (share(sum(w.own for w in windows), wall), share(sum(w.server for w in windows), wall),
            {name: share(cpu, wall) for name, cpu in rest.items()})


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
        self.window = WINDOW_S_QUICK if quick else WINDOW_S

    def tool(self, *args, **kw):
        return self.wine.tool(self.tool_exe, *args, **kw)

    def row(self, what, value, anchor, target='', met=None):
        verdict = '' if met is None else ('met' if met else 'MISSED')
        self.rows.append((what, value, anchor, target, verdict))
        print(f'  {what}: {value} [anchor {anchor}] (target {target}) {verdict}', file=sys.stderr, flush=True)

    # 1. The probe: ours against the bare WinINet loop, pair by pair, and native libcurl.
    def probe(self, server):
        url = server.url('/ok')
        pairs = PROBE_PAIRS_QUICK if self.quick else PROBE_PAIRS
        r = self.tool('probe-compare', url, pairs, timeout=900)
        ours, bare, direct = (float(r[k]) for k in ('ours_median_ms', 'bare_median_ms', 'direct_median_ms'))
        ratio, direct_ratio = float(r['ratio_median']), float(r['direct_ratio_median'])
        self.bare_ms = bare
        anchor = f'bare WinINet loop, same calls and flags: {bare:.2f} ms (median of {r["pairs"]})'
        self.row(f'probe, worker path (WinINet on a pool thread, waited for at most 30 s): median of '
                 f'{r["pairs"]} paired ratios, each pair interleaved (first / second half of the run: '
                 f'{float(r["ratio_median_first_half"]):.3f} / {float(r["ratio_median_second_half"]):.3f})', f'{ratio:.3f}x ({ours:.2f} ms)', anchor,
                 '<= 1.05x', ratio <= 1.05)
        quantiles = ', '.join(f'p{q} {float(r[f"ours_p{q}_ms"]) / float(r[f"bare_p{q}_ms"]):.3f}x'
                              for q in ('10', '25'))
        self.row('the same, lower quantiles of each loop (the probes the machine\'s other work left alone)',
                 quantiles, 'the same')
        self.row('the same WinINet calls made on the calling thread (ProbeUrlWinInet)',
                 f'{direct_ratio:.3f}x ({direct:.2f} ms)', 'the same')
        curl = float(subprocess.run([self.curl, url, '50'], capture_output=True, text=True, check=True,
                                    timeout=120).stdout.split()[1])
        self.row('bare WinINet loop under Wine', f'{bare / curl:.1f}x ({bare:.2f} ms)',
                 f'libcurl natively on Linux, fresh handle per probe: {curl:.2f} ms (median of 50)')

    def big_page(self, server):
        r = self.tool('probe-time', server.url('/big'), 3)
        big = float(r['median_ms'])
        self.row('probe of a 10 MB page (status only; Wine drains the body at close), median of 3',
                 f'{big / self.bare_ms:.0f}x ({big:.0f} ms, status {r["status"]})', 'the bare loop\'s small page')

    # 2. Memory, idle CPU and Stop of the real program, in turns with the anchors.
    def anchor_threads(self, count, what, seconds):
        """Starts the tool with count threads doing what; returns (process, pid) once they exist."""
        proc = subprocess.Popen(['wine', self.tool_exe, 'threads', str(count), what, str(seconds)],
                                stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        pid = wait_pid(self.tool_exe, self.prefix)
        check(proc.stdout.readline().strip() == b'ready', f'the anchor threads ({what}) did not start')
        return proc, pid

    def thread_sample(self, count, what, cpu=True):
        """Private memory of the tool with count threads doing what, after 3 s; and a CPU window."""
        proc, pid = self.anchor_threads(count, what, self.window + 8)
        try:
            time.sleep(3)
            private = memory(pid)['Private']
            return private, CpuWindow(self.prefix, pid, self.window) if cpu else None
        finally:
            proc.wait(120)

    def program_round(self, server, number, stops, found):
        """One life of the program; the first measures the memory of 40 sites, the second of 10,
        each from a fresh start."""
        url = server.url('/')
        with self.wine.start(self.exe) as program:
            self.tool('counts')  # waits for the main window
            time.sleep(3)  # start-up work (notice request, first paints) ends
            if number < 2:
                found[f'm0_{number}'] = memory(program.pid)
            if number == 1:
                self.tool('run', url, 10, INTERVAL_15MIN)
                time.sleep(3)
                found['m10'] = memory(program.pid)
                self.tool('stop-time')
            self.tool('run', url, 40, INTERVAL_15MIN)
            time.sleep(3)
            if number < 2:
                found[f'm40_{number}'] = memory(program.pid)
            found.setdefault('program', []).append(CpuWindow(self.prefix, program.pid, self.window))
            if number == 0:
                found['m40_late'] = memory(program.pid)
            stops.append(float(self.tool('stop-time')['stop_ms']))
            if number == ROUNDS - 1 and not self.quick:
                before = len(server.requests)
                self.tool('run', url, 40, INTERVAL_30S)
                time.sleep(2)
                found['probing'] = CpuWindow(self.prefix, program.pid, 3 * self.window)
                found['probing_requests'] = len(server.requests) - before
                self.tool('stop-time')
            self.tool('close')
            code = program.wait_exit(20)
            check(code == EXIT_BY_CLOSE, f'the program ended with {code} after close')

    def program(self, server):
        stops, found = [], {}
        one, _ = self.thread_sample(1, 'sleep', cpu=False)
        anchors = []
        for number in range(ROUNDS):
            self.program_round(server, number, stops, found)
            private, window = self.thread_sample(1 + ANCHOR_THREADS, 'sleep')
            anchors.append((private, window))
        per_thread = statistics.median((p - one) / ANCHOR_THREADS for p, _ in anchors)
        anchor_windows = [w for _, w in anchors]
        self.memory_rows(found, per_thread)
        self.cpu_rows(found, anchor_windows)
        self.row('Stop with 40 sites, click to Start enabled, no request in flight '
                 f'({ROUNDS} runs: ' + ' / '.join(f'{s:.0f}' for s in stops) + ' ms)',
                 f'{max(stops) / 1000:.2f}x one tick (slowest)', 'the worker\'s one-second tick',
                 '<= 1.2 s', max(stops) <= 1200)
        self.diagnose(one, per_thread, anchor_windows)

    def memory_rows(self, found, per_thread):
        anchor = f'a bare Wine thread that only sleeps: {per_thread:.0f} KiB Private (median of {ROUNDS})'
        for label, m0, m, sites in (('0->40 sites', found['m0_0'], found['m40_0'], 40),
                                    (f'0->40 sites, after a {self.window} s CPU window', found['m0_0'],
                                     found['m40_late'], 40),
                                    ('0->10 sites (with what the first run costs once)', found['m0_1'],
                                     found['m10'], 10),
                                    ('10->40 sites (a second run after the first was stopped)', found['m10'],
                                     found['m40_1'], 30)):
            per = (m['Private'] - m0['Private']) / sites
            self.row(f'private memory per added site, {label} (Private {m0["Private"]} -> {m["Private"]} KiB; '
                     f'RssAnon {m0["RssAnon"]} -> {m["RssAnon"]} KiB)',
                     f'{per / per_thread:.3f}x ({per:.0f} KiB)', anchor, '<= 1.05x', per / per_thread <= 1.05)

    def cpu_rows(self, found, anchor_windows):
        a_own, a_server, a_rest = summed(anchor_windows)
        anchor_total = a_own + a_server
        wall = sum(w.seconds for w in anchor_windows)
        anchor = (f'{ANCHOR_THREADS} bare Wine threads that only Sleep(1000), in turns with the program: '
                  f'{a_own:.2f} % + wineserver {a_server:.2f} % of one core over {wall:.0f} s')
        p_own, p_server, p_rest = summed(found['program'])
        ratio = (p_own + p_server) / anchor_total if anchor_total > 0 else float('inf')
        rounds = ', '.join(f'{w.total / a.total:.2f}' if a.total else 'inf'
                           for w, a in zip(found['program'], anchor_windows))
        self.row(f'idle CPU, 40 sites on a 15-minute interval (workers tick, no probe), program + wineserver, '
                 f'{ROUNDS} windows of {self.window} s (rounds: {rounds})',
                 f'{ratio:.2f}x ({p_own:.2f} % + {p_server:.2f} %)', anchor, '<= 3x', ratio <= 3)
        whole = sum(w.everything for w in found['program']) / sum(w.seconds for w in found['program'])
        whole_anchor = sum(w.everything for w in anchor_windows) / wall
        self.row('the same, the whole prefix (program, wineserver and Wine\'s own processes: '
                 + rest_text(p_rest, a_rest) + ' % with the program / the anchor)',
                 f'{whole / whole_anchor:.2f}x ({100 * whole:.2f} %)', f'the same: {100 * whole_anchor:.2f} %')
        if 'probing' in found:
            w = found['probing']
            probing = w.total / w.seconds * 100
            self.row(f'CPU with 40 sites on a 30-second interval (probing; {found["probing_requests"]} requests '
                     f'in {w.seconds:.0f} s), program + wineserver',
                     f'{probing / anchor_total:.1f}x ({share(w.own, w.seconds):.2f} % + '
                     f'{share(w.server, w.seconds):.2f} %)', 'the same')

    def diagnose(self, one, per_thread, anchor_windows):
        """Where the per-site memory and the idle CPU go: threads doing one part of the tick each."""
        a_own, a_server, _ = summed(anchor_windows)
        anchor_total = a_own + a_server
        kinds = [('worker', 'the worker\'s tick (shared network probe, then Sleep(1000))'),
                 ('every-call', 'InternetGetConnectedState + IsNetworkAlive on every thread every second'),
                 ('alive', 'IsNetworkAlive + Sleep(1000)'),
                 ('connected-once', 'one InternetGetConnectedState, all at once, then Sleep(1000)'),
                 ('connected-once-in-turn', 'one InternetGetConnectedState, one thread at a time, then Sleep(1000)')]
        for what, label in kinds:
            private, window = self.thread_sample(1 + ANCHOR_THREADS, what)
            per = (private - one) / ANCHOR_THREADS
            cpu = share(window.total, window.seconds)
            self.row(f'{ANCHOR_THREADS} threads doing {label}: Private per thread; CPU + wineserver',
                     f'{per / per_thread:.3f}x ({per:.0f} KiB); {cpu / anchor_total:.2f}x ({cpu:.2f} %)',
                     'the sleeping threads above')
        costs = self.tool('tick-cost', 200)
        ics = float(costs['connected_state_cpu_ms'])
        self.row('one tick\'s network probe, CPU of the caller (the shared probe, ticks 10 ms apart)',
                 f'{float(costs["network_probe_cpu_ms"]) / ics:.3f}x ({float(costs["network_probe_cpu_ms"]):.3f} ms;'
                 f' IsNetworkAlive alone {float(costs["network_alive_cpu_ms"]):.3f} ms)',
                 f'one InternetGetConnectedState: {ics:.2f} ms CPU, '
                 f'{float(costs["connected_state_wall_ms"]):.2f} ms wall')

    # 3. The executable.
    def executable(self):
        size = os.path.getsize(self.exe)
        dump = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', self.exe], capture_output=True, text=True,
                              check=True).stdout
        imports = sorted({line.split(':', 1)[1].strip().lower() for line in dump.splitlines()
                          if 'DLL Name:' in line})
        foreign = [d for d in imports if d not in SYSTEM_DLLS and not d.startswith('api-ms-win-')]
        beside = sorted(f for f in os.listdir(os.path.dirname(self.exe)) if f.lower().endswith('.dll'))
        self.row('SiteMonitor.exe size', f'{size / MIB:.2f} MiB ({size} bytes)', '', '<= 1.5 MiB', size <= 1.5 * MIB)
        self.row('imports (objdump -p)', ', '.join(imports), '', 'system DLLs only', not foreign)
        self.row('DLLs beside the exe', ', '.join(beside) or 'none', '', 'none', not beside)
        r = self.tool('start-visible', self.exe, 5)
        starts = [float(r[f'start_{i}_ms']) for i in range(5)]
        self.row('start to visible main window, median of 5 (' + ', '.join(f'{s:.0f}' for s in starts) + ' ms)',
                 f'{float(r["median_ms"]):.0f} ms', '', '<= 0.5 s', float(r['median_ms']) <= 500)

    def table(self):
        now = datetime.datetime.now().astimezone()
        load = open('/proc/loadavg').read().split()[:3]
        lines = [f'Measured {now:%Y-%m-%d %H:%M %Z} under Wine {wine_version()} on {os.cpu_count()} shared cores '
                 f'(load average at the end: {" ".join(load)}).', '',
                 '| measure | value | anchor (same run) | target | |', '|---|---|---|---|---|']
        lines += [f'| {w} | {v} | {a} | {t} | {m} |' for w, v, a, t, m in self.rows]
        if self.notes:
            lines += [''] + [f'Note: {n}.' for n in self.notes]
        return '\n'.join(lines)


def rest_text(program, anchor):
    names = sorted(set(program) | set(anchor))
    return ', '.join(f'{n} {program.get(n, 0):.2f} / {anchor.get(n, 0):.2f}' for n in names) or 'none'


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
    print('executable', file=sys.stderr)
    bench.executable()
    print(bench.table())
