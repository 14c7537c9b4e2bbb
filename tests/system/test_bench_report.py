"""The cost of one report under Wine, for script/bench: the main window handles a worker's
report (a 200 status: its row at the top of the run log and in the history's day file, and the
tray tooltip, which does not change), against an anchor measured in the same run: the same row
inserted into the run log with nothing else. Both are sent from another process one after
another (each returns when the program has handled it), so both carry the same cross-process
round trip. The same is measured again in a second life of the program whose history cannot be
written (a plain file stands where the GetLog folder goes: the program says so once and writes
no day file), so the history's own cost per row shows as the ratio of the two. The test fails
only when a measurement cannot be taken.

Then the memory the program adds while its run log is full: 15 000 more reports once the log
holds its rows, against a bare list view doing the same work in a process of its own (the
measuring tool's list-churn: rows of the same length inserted at the top of a report view in a
visible window, the bottom row deleted first once it holds as many as the run log keeps)."""
import datetime
import os
import shutil
import statistics
import subprocess
import sys
import time

import pytest

from .checks import CHECK_LIST, EDIT, START, check
from .servers import STANDARD
from .test_run_log_soak import ROW_LIMIT
from .wine import find_built, memory, wait_pid

REPORTS = 2000  # per run, fewer than the run log keeps: every report adds a row
RUNS = 3
TARGET = 2.0
AFTER_FULL = 15000       # reports (or rows) measured once the log is full
GROWTH_TARGET_KIB = 1024
CALL_REPORTS, BATCH = 500, 250  # per driver call, and posted before waiting: short calls on a busy machine
HISTORY_TARGET = 1.1


def row(what, value, target, met):
    verdict = '' if met is None else ('met' if met else 'MISSED')
    print(f'  {what}: {value} (target {target}) {verdict}', file=sys.stderr, flush=True)


def measure(env, url):
    """One life of the program: the medians of RUNS runs of the report and the anchor, and the
    ratios of each run."""
    program, driver = env.start()
    driver.must('combo-set', CHECK_LIST, 5)  # 15 minutes: no probe, only the reports sent here
    driver.must('set-text', EDIT, url)
    driver.must('click', START)
    driver.wait_rows('监控开始运行', 1, 10)
    driver.must('report-cost', 200, 1, 200)  # warm-up
    runs = [driver.must('report-cost', REPORTS, 1, 200) for _ in range(RUNS)]
    reports = [float(r['report_ms']) for r in runs]
    inserts = [float(r['insert_ms']) for r in runs]
    driver.must('close')
    check(program.wait_exit(20) == 2, 'the program did not end after close')
    driver.close()
    return statistics.median(reports), statistics.median(inserts), [r / i for r, i in zip(reports, inserts)]


@pytest.mark.bench
@pytest.mark.runs_for(300)
def test_memory_once_the_log_is_full(env, loopback):
    server = loopback()
    server.set('', STANDARD['ok'])
    program, driver = env.start()
    driver.must('combo-set', CHECK_LIST, 5)  # 15 minutes: no probe, only the reports posted here
    # Two sites: the reports alternate between them in batches (post-reports).
    driver.must('set-text', EDIT, f'{server.url("/first")}\r\n{server.url("/second")}')
    driver.must('click', START)
    driver.wait_rows('监控开始运行', 1, 10)
    program_kib, top = growth_after_full(program, driver)
    anchor_kib = list_view_growth(env, len(top))
    row(f'private memory added by {AFTER_FULL} reports once the run log is full ({ROW_LIMIT} rows)',
        f'{program_kib} KiB', f'<= {GROWTH_TARGET_KIB} KiB', program_kib <= GROWTH_TARGET_KIB)
    row(f'anchor: a bare list view in a visible window, {AFTER_FULL} rows of the same length ({len(top)}) '
        f'inserted at the top once it holds {ROW_LIMIT}, the bottom row deleted first', f'{anchor_kib} KiB', '', None)
    driver.must('close')
    check(program.wait_exit(20) == 2, 'the program did not end after close')


def growth_after_full(program, driver):
    """Private KiB the program adds over AFTER_FULL reports once its log is full, and its top row."""
    def post(count):
        while count > 0:
            answer = driver.must('post-reports', min(count, CALL_REPORTS), 1, 2, 200, BATCH)
            count -= answer['reports']
        return answer

    post(ROW_LIMIT + BATCH)
    full = memory(program.pid)['Private']
    answer = post(AFTER_FULL)
    return memory(program.pid)['Private'] - full, answer['top']


def list_view_growth(env, length):
    """Private KiB a bare list view adds over AFTER_FULL rows once it holds ROW_LIMIT rows."""
    tool = env.programs.tool
    proc = subprocess.Popen(['wine', tool, 'list-churn', str(ROW_LIMIT + AFTER_FULL), str(ROW_LIMIT), str(length),
                             'delete-first'],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        pid = wait_pid(tool, env.wine.prefix)
        readings = []
        while len(readings) < 1 + AFTER_FULL // ROW_LIMIT:
            line = proc.stdout.readline().decode('ascii', 'replace').strip()
            check(line.startswith('rows '), f'the list view anchor stopped: {line!r}')
            readings.append(memory(pid)['Private'])
            proc.stdin.write(b'\n')
            proc.stdin.flush()
        return readings[-1] - readings[0]
    finally:
        proc.stdin.close()
        proc.wait(120)


@pytest.mark.bench
@pytest.mark.runs_for(120)
def test_report_cost(env, loopback):
    server = loopback()
    server.set('', STANDARD['ok'])
    report, insert, ratios = measure(env, server.url('/'))
    ratio = statistics.median(ratios)
    check(any(n.endswith('.log') for n in os.listdir(env.trace_path)), 'no day file was written')
    row(f'one report handled (a 200 status: row, day-file line and unchanged tooltip), sent one after another, '
        f'median of {RUNS} runs of {REPORTS}', f'{report:.3f} ms', '', None)
    row(f'anchor: the same row inserted into the run log with nothing else, same way, median of {RUNS} runs',
        f'{insert:.3f} ms', '', None)
    row('cost of one report / anchor (median of 3 runs: ' + ', '.join(f'{r:.2f}' for r in ratios) + ')',
        f'{ratio:.2f}x', f'<= {TARGET:g}x', ratio <= TARGET)

    shutil.rmtree(env.trace_path)
    with open(env.trace_path, 'wb'):  # a file where the folder goes: the history cannot be written
        pass
    report_off, insert_off, ratios_off = measure(env, server.url('/'))
    ratio_off = statistics.median(ratios_off)
    row('the same with the history not written (median of 3 runs: ' + ', '.join(f'{r:.2f}' for r in ratios_off) +
        f'; report {report_off:.3f} ms, anchor {insert_off:.3f} ms)', f'{ratio_off:.2f}x', '', None)
    row('cost of one report with the history / without it', f'{ratio / ratio_off:.3f}x', f'<= {HISTORY_TARGET:g}x',
        ratio / ratio_off <= HISTORY_TARGET)


HISTORY_BYTES = 256 << 20
HISTORY_DAYS, HISTORY_SITES = 90, 40
REPORT_TARGET, REPORT_MEMORY_MIB = 3.0, 64
RUNS_OVER_HISTORY = 5


def write_full_history(folder):
    """90 days of day files in the history's format, 40 sites (one of them failing an hour a day)
    watched by one long run of the window, about 256 MiB in all: the report's worst case."""
    os.makedirs(folder, exist_ok=True)
    zone = 480
    today = datetime.date.today()
    first = today - datetime.timedelta(days=HISTORY_DAYS - 1)
    per_day = HISTORY_BYTES // HISTORY_DAYS
    sample = '2026-12-10 00:00:00 http://127.0.0.1:40000/site-07 访问正常\t~ run=W-1700000000-1234 t=1234567 u=1765000000 z=+480\r\n'
    rows_per_day = per_day // len(sample.encode())
    step = 86400 * HISTORY_SITES / rows_per_day  # seconds between rows of one site
    start_utc = int(datetime.datetime.combine(first, datetime.time()).timestamp()) - zone * 60
    run = f'W-{start_utc}-1234'
    stamp = lambda t: ('{0.year:4d}-{0.month}-{0.day} {0:%H:%M:%S}').format(
        datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=start_utc + t + zone * 60))
    facts = lambda t: f'\t~ run={run} t={t} u={start_utc + t} z=+{zone}'
    start = f'{stamp(0)} 监控开始运行{facts(0)}'
    total = 0
    for day in range(HISTORY_DAYS):
        lines = [] if day == 0 else [start + ' carry\r\n']
        if day == 0:
            lines.append(start + '\r\n')
        row, t = 0, day * 86400
        while t < (day + 1) * 86400:
            site = row % HISTORY_SITES
            failing = site == 7 and 3600 <= t % 86400 < 7200
            lines.append(f'{stamp(t)} http://127.0.0.1:40000/site-{site:02d} '
                         f'{"网页不存在" if failing else "访问正常"}{facts(t)}\r\n')
            row += 1
            t = day * 86400 + int(row * step / HISTORY_SITES)
        data = ('\ufeff' + ''.join(lines)).encode('utf-8')
        with open(os.path.join(folder, (first + datetime.timedelta(days=day)).strftime('%Y-%m-%d.log')), 'wb') as f:
            f.write(data)
        total += len(data)
    return total


@pytest.mark.bench
@pytest.mark.runs_for(300)
def test_report_over_a_full_history(env):
    """`--report --days 90` over a full history against reading the same files once, in the same
    run (each measured as the whole Wine process, start-up included, the files in the page cache),
    and the report's peak resident memory. The peak is GNU time's: a process forked straight from
    this test's Python would count Python's own size in its peak."""
    env.fresh_data_folder()
    total = write_full_history(env.trace_path)
    console = find_built(env.programs.build, 'SiteMonitorConsole.exe')
    peak_file = os.path.join(env.wine.folder, 'peak-kib')

    def timed(command):
        started = time.monotonic()
        proc = subprocess.run(['/usr/bin/time', '-f', '%M', '-o', peak_file, *env.wine.launcher, 'wine', *command],
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        seconds = time.monotonic() - started
        check(proc.returncode == 0, f'{command[:2]} ended with {proc.returncode}')
        with open(peak_file, encoding='ascii') as f:
            return seconds, int(f.read().split()[-1]), proc.stdout

    read = lambda: timed([env.programs.tool, 'read-files', 'Z:' + env.trace_path.replace('/', '\\')])
    read()  # warm: the files in the page cache
    reads, reports, peaks, read_peaks = [], [], [], []
    for _ in range(RUNS_OVER_HISTORY):
        seconds, peak, _ = read()
        reads.append(seconds)
        read_peaks.append(peak)
        seconds, peak, output = timed([console, '--report', '--days', '90'])
        check(f'site-{HISTORY_SITES - 1:02d}'.encode() in output, f'the report lists no site: {output[:300]!r}')
        reports.append(seconds)
        peaks.append(peak)
    report, anchor = statistics.median(reports), statistics.median(reads)
    peak_mib = max(peaks) / 1024
    row(f'--report --days 90 over {HISTORY_DAYS} days of {HISTORY_SITES} sites ({total / 2**20:.0f} MiB), '
        f'median of {RUNS_OVER_HISTORY}',
        f'{report:.2f} s', '', None)
    row(f'anchor: the same files read once in 256 KiB blocks by a Wine program, median of {RUNS_OVER_HISTORY}',
        f'{anchor:.2f} s', '', None)
    row('report / anchor', f'{report / anchor:.2f}x', f'<= {REPORT_TARGET:g}x', report / anchor <= REPORT_TARGET)
    row('peak resident memory of the report (the Wine process)', f'{peak_mib:.1f} MiB', f'<= {REPORT_MEMORY_MIB} MiB',
        peak_mib <= REPORT_MEMORY_MIB)
    row('the anchor\'s peak resident memory (a Wine program that only reads)', f'{max(read_peaks) / 1024:.1f} MiB', '',
        None)
