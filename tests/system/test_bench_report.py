"""The cost of one report under Wine, for script/bench: the main window handles a worker's
report (a 200 status: its row at the top of the run log and in the history's day file, and the
tray tooltip, which does not change), against an anchor measured in the same run: the same row
inserted into the run log with nothing else. Both are sent from another process one after
another (each returns when the program has handled it), so both carry the same cross-process
round trip. The same is measured again in a second life of the program whose history cannot be
written (a plain file stands where the GetLog folder goes: the program says so once and writes
no day file), so the history's own cost per row shows as the ratio of the two. The test fails
only when a measurement cannot be taken."""
import os
import shutil
import statistics
import sys

import pytest

from .checks import CHECK_LIST, EDIT, START, check
from .servers import STANDARD

REPORTS = 2000  # per run, fewer than the run log keeps: every report adds a row
RUNS = 3
TARGET = 2.0
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
