"""Soak of the run log of the real SiteMonitor.exe: many reports handed to the main window as its
workers post them (a 200 status for one of two sites, so each adds a row), far more than the log
keeps. The log must stop at its row limit with the newest row on top, the program's memory must
stay within 32 MiB of where it was before the first report, and once the log is full 15 000 more
reports may add at most 1 MiB; clearing the log must still empty it."""
import re

import pytest

from .checks import CHECK_LIST, CLEAR_LOG, EDIT, EXIT_BY_CLOSE, REPO, START, check, check_stamp_is_now, log
from .servers import STANDARD
from .wine import memory

ROW_LIMIT = int(re.search(r'kRunLogRowLimit = (\d+);',
                          (REPO / 'shell' / 'run_log_limit.h').read_text(encoding='utf-8')).group(1))
ROUNDS = 4              # after the log is full, each round adds as many rows as the log keeps
BATCH = 500             # reports posted before waiting for them to be handled
CALL_REPORTS = 1000     # reports per driver call, well within its answer time on a loaded machine
GROWTH_LIMIT_KIB = 32 * 1024
FLAT_SLACK_KIB = 1024   # what the last round may add
AFTER_FULL_ROUNDS = 3   # 15 000 reports once the log is full...
AFTER_FULL_KIB = 1024   # ...add at most this much


@pytest.mark.soak
@pytest.mark.runs_for(240)
def test_run_log_soak(env, loopback):
    server = loopback()
    server.set('', STANDARD['ok'])
    first, second = server.url('/first'), server.url('/second')
    program, driver = env.start()
    driver.must('combo-set', CHECK_LIST, 5)  # 15 minutes: no probe, only the reports posted here
    driver.must('set-text', EDIT, f'{first}\r\n{second}')
    driver.must('click', START)
    driver.wait_rows('监控开始运行', 1, 10)

    def private_kib():
        return memory(program.pid)['Private']

    def post(count):
        """Posts `count` reports, a driver call at most for each CALL_REPORTS."""
        while count > 0:
            answer = driver.must('post-reports', min(count, CALL_REPORTS), 1, 2, 200, BATCH)
            count -= answer['reports']
        return answer

    base = private_kib()
    answer = post(ROW_LIMIT + BATCH)
    full = private_kib()
    log(f'before the reports {base} KiB; log full ({answer["rows"]} rows) {full} KiB')
    samples = []
    for _ in range(ROUNDS):
        answer = post(ROW_LIMIT)
        samples.append(private_kib())
        log(f'{answer["rows"]} rows after {ROW_LIMIT} more reports: {samples[-1]} KiB')
    reports = ROW_LIMIT + BATCH + ROUNDS * ROW_LIMIT

    failures = []
    rows = driver.rows()
    if answer['rows'] != ROW_LIMIT or len(rows) != ROW_LIMIT:
        failures.append(f'the log holds {len(rows)} rows, not {ROW_LIMIT}')
    if not (rows and rows[0] == answer['top'] and rows[0].endswith((f'{first} 访问正常', f'{second} 访问正常'))):
        failures.append(f'the newest report is not on top: {rows[:2]}')
    if not all(row.endswith(' 访问正常') for row in rows):
        failures.append(f'the oldest rows (start-up and Start) were not dropped: {rows[-3:]}')
    if max(samples) - base > GROWTH_LIMIT_KIB:
        failures.append(f'memory grew by {max(samples) - base} KiB over {reports} reports')
    after_full = samples[AFTER_FULL_ROUNDS - 1] - full
    if after_full > AFTER_FULL_KIB:
        failures.append(f'{AFTER_FULL_ROUNDS * ROW_LIMIT} reports with the log full added {after_full} KiB')
    if samples[-1] - samples[-2] > FLAT_SLACK_KIB:
        failures.append(f'memory still grows with the log full: {full} -> {samples} KiB')
    check(not failures, 'run log soak: ' + '; '.join(failures))
    check_stamp_is_now(rows[0])

    driver.must('click', CLEAR_LOG)
    check(driver.rows() == [], 'clearing the log left rows')
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE, timeout=30)
    log(f'run log soak: passed: {reports} reports, {base} -> {full} (full) -> {samples[-1]} KiB')
