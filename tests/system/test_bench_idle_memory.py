"""The memory of idle probe workers under Wine, for script/bench: SiteMonitor.exe with 200 sites
on the 15-minute interval (no probe within the time measured: the workers only tick), and in
the same prefix at the same time the anchor: 200 bare threads of the measuring tool making the
same calls each second (IsNetworkAlive on every thread, InternetGetConnectedState once a second
from one of them, then Sleep(1000)). A third process makes the same calls with the ignored
question asked by whichever thread comes first in each second, as the workers once asked it:
what Wine keeps when the question goes round the threads. Private memory is RssAnon, read
after everything has settled and again minutes later. The test fails only when a measurement
cannot be taken."""
import subprocess
import sys
import time

import pytest

from .checks import CHECK_LIST, EDIT, START, check
from .servers import STANDARD
from .test_bench import INTERVAL_15MIN
from .wine import memory, pids_running

SITES = 200
MINUTES, MINUTES_QUICK = 10, 3
SETTLE_S = 30
TARGET_KIB = 256
ANCHOR = 'connected-one-thread'
HANDED_ROUND = 'connected-first-comer'


def row(what, value, target='', met=None):
    verdict = '' if met is None else ('met' if met else 'MISSED')
    print(f'  {what}: {value} (target {target}) {verdict}', file=sys.stderr, flush=True)


def start_threads(env, what, seconds):
    """The tool with SITES threads doing `what` for `seconds`; returns (process, Linux pid)."""
    tool, prefix = env.programs.tool, env.wine.prefix
    before = set(pids_running(tool, prefix))
    proc = subprocess.Popen(['wine', tool, 'threads', str(SITES), what, str(seconds)], stdout=subprocess.PIPE,
                            stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env.cleanups.append(lambda: proc.kill() if proc.poll() is None else None)
    check(proc.stdout.readline().strip() == b'ready', f'the anchor threads ({what}) did not start')
    deadline = time.monotonic() + 30
    while True:
        new = set(pids_running(tool, prefix)) - before
        if len(new) == 1:
            return proc, new.pop()
        check(time.monotonic() < deadline, f'no single new process for the anchor ({what}): {new}')
        time.sleep(0.05)  # poll interval, bounded by the deadline above


@pytest.mark.bench
@pytest.mark.runs_for(700)
def test_idle_worker_memory(env, loopback, pytestconfig):
    seconds = 60 * (MINUTES_QUICK if pytestconfig.getoption('quick') else MINUTES)
    server = loopback()
    server.set('', STANDARD['ok'])
    program, driver = env.start()
    driver.must('combo-set', CHECK_LIST, INTERVAL_15MIN)
    driver.must('set-text', EDIT, '\r\n'.join(server.url(f'/{n}') for n in range(1, SITES + 1)))
    driver.must('click', START)
    driver.wait_rows('线程[', SITES, 60)
    rows = len(driver.rows())
    measured = {'program': program.pid}
    anchors = [start_threads(env, what, seconds + SETTLE_S + 15) for what in (ANCHOR, HANDED_ROUND)]
    measured[ANCHOR], measured[HANDED_ROUND] = (pid for _, pid in anchors)
    time.sleep(SETTLE_S)

    start = {name: memory(pid) for name, pid in measured.items()}
    began = time.monotonic()
    series = {name: [] for name in measured}
    for minute in range(1, seconds // 60 + 1):
        time.sleep(max(0.0, began + 60 * minute - time.monotonic()))
        for name, pid in measured.items():
            series[name].append(memory(pid)['RssAnon'] - start[name]['RssAnon'])
    check(not server.requests and len(driver.rows()) == rows, 'a probe or a report came while the workers idled')

    added = {name: values[-1] for name, values in series.items()}
    by_minute = {name: ', '.join(f'{v:+d}' for v in values) for name, values in series.items()}
    over = added['program'] - added[ANCHOR]
    row(f'private memory (RssAnon) added over {seconds // 60} minutes by {SITES} idle workers (15-minute interval, '
        f'no probe), beside {SITES} bare threads making the same calls each second in the same run '
        f'(program {start["program"]["RssAnon"]} KiB at the start; by minute: {by_minute["program"]} KiB)',
        f'{added["program"]:+d} KiB, anchor {added[ANCHOR]:+d} KiB ({by_minute[ANCHOR]}): {over:+d} KiB over it',
        f'<= {TARGET_KIB} KiB over the anchor', over <= TARGET_KIB)
    row(f'the same calls with InternetGetConnectedState asked by whichever thread comes first in each second '
        f'(by minute: {by_minute[HANDED_ROUND]} KiB)', f'{added[HANDED_ROUND]:+d} KiB')

    driver.must('close')
    check(program.wait_exit(20) == 2, 'the program did not end after close')
    for proc, _ in anchors:
        proc.wait(120)
