"""The history on disk: the run log's rows in GetLog's day files across a kill and a restart,
the console program's report of them, and the pruning of old day files."""
import csv
import datetime
import io
import os
import re
import subprocess

import pytest

from .checks import (CHECK_LIST, EDIT, EXIT_BY_CLOSE, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST, START,
                     STOP, check, stamp_of)
from .servers import STANDARD
from .wine import find_built

DAY_FILE = re.compile(r'\d{4}-\d\d-\d\d\.log')


def history_rows(folder):
    """Every row of the day files in date order; each file starts with the byte-order mark and
    holds whole CR LF lines only."""
    rows = []
    for name in sorted(n for n in os.listdir(folder) if DAY_FILE.fullmatch(n)):
        data = open(os.path.join(folder, name), 'rb').read()
        check(data.startswith(b'\xef\xbb\xbf') and data.endswith(b'\r\n'), f'{name} is not whole: {data[-40:]!r}')
        rows += data[3:].decode('utf-8').split('\r\n')[:-1]
    return rows


def up_and_down(rows, url, end):
    """Up and down seconds of one site in one run: each of its rows holds until its next row or
    the run's end."""
    marks = [(stamp_of(r), r.endswith(' 访问正常')) for r in rows if f' {url} ' in r] + [(end, None)]
    up = down = 0
    for (time, is_up), (later, _) in zip(marks, marks[1:]):
        seconds = int((later - time).total_seconds())
        up, down = (up + seconds, down) if is_up else (up, down + seconds)
    return up, down


@pytest.mark.runs_for(170)
def test_history_and_report(env, loopback):
    """Three loopback sites (one up, one missing, one failing for a while and coming back): the
    day file holds exactly the rows the log showed, the rows of a killed run and of the next one;
    --report gives each site its up time and lists the outage; a day file 100 days old is pruned
    at start, a file of another name is kept."""
    sites = loopback()
    sites.set('flaky', STANDARD['error'])
    ok, missing, flaky = sites.url('/ok'), sites.url('/missing'), sites.url('/flaky')
    env.fresh_data_folder()
    os.makedirs(env.trace_path)
    old = (datetime.date.today() - datetime.timedelta(days=100)).strftime('%Y-%m-%d.log')
    for name in (old, 'notes.txt'):
        with open(os.path.join(env.trace_path, name), 'wb') as f:
            f.write(b'planted\r\n')

    program, driver = env.start()
    driver.must('set-text', EDIT, f'{ok}\r\n{missing}\r\n{flaky}')
    for control in (CHECK_LIST, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST):
        driver.must('combo-set', control, 0)  # 30 s, 1 retry, 10 s
    driver.must('click', START)
    driver.wait_rows(f'{flaky} 网站服务器，内部发生错误500', 1, 80)
    sites.set('flaky', STANDARD['ok'])
    driver.wait_rows(f'{flaky} 访问正常', 1, 80)
    first_run = driver.rows()[::-1]
    program.stop()  # killed: no stop rows
    check(not os.path.exists(os.path.join(env.trace_path, old)), f'{old} was not pruned')
    check(os.path.exists(os.path.join(env.trace_path, 'notes.txt')), 'a file not named as a day file was deleted')
    written = history_rows(env.trace_path)
    check(written == first_run, f'the history holds {written}, the log showed {first_run}')

    program, driver = env.start()
    for control in (CHECK_LIST, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST):
        driver.must('combo-set', control, 0)  # the killed run saved no settings
    driver.must('click', START)
    for row in (f'{ok} 访问正常', f'{missing} 网页不存在', f'{flaky} 访问正常'):
        driver.wait_rows(row, 1, 80)
    driver.must('click', STOP)
    driver.wait_rows('监控停止!', 1, 60)
    second_run = driver.rows()[::-1]
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE)
    written = history_rows(env.trace_path)
    check(written == first_run + second_run, f'the history holds {written}, the logs showed {first_run + second_run}')

    console = find_built(env.programs.build, 'SiteMonitorConsole.exe')
    report = {}
    for form in ('text', 'csv'):
        result = subprocess.run([*env.wine.launcher, 'wine', console, '--report', *(['--csv'] if form == 'csv' else [])],
                                capture_output=True, timeout=120, stdin=subprocess.DEVNULL)
        check(result.returncode == 0, f'--report ended with {result.returncode}: {result.stderr!r}')
        report[form] = result.stdout.decode('utf-8')
    table = {r['address']: r for r in csv.DictReader(io.StringIO(report['csv']))}
    check(set(table) == {ok, missing, flaky}, f'the report lists {sorted(table)}')
    check(table[ok]['up_time_percent'] == '100.00' and table[ok]['outages'] == '0', f'{table[ok]}')
    check(table[missing]['up_time_percent'] == '0.00' and table[missing]['outages'] == '2', f'{table[missing]}')

    # The flaky site: down from its failure row to its first success row, up from there to the
    # end of each run (the killed run ends at its last row, the second at its stop row).
    failure = next(r for r in first_run if r.endswith(f'{flaky} 网站服务器，内部发生错误500'))
    back = next(r for r in first_run if r.endswith(f'{flaky} 访问正常'))
    up1, down1 = up_and_down(first_run, flaky, stamp_of(first_run[-1]))
    up2, down2 = up_and_down(second_run, flaky, stamp_of(next(r for r in second_run if r.endswith('监控停止!'))))
    up, counted = up1 + up2, up1 + up2 + down1 + down2
    hundredths = (up * 20000 + counted) // (2 * counted)
    expected = f'{hundredths // 100}.{hundredths % 100:02d}'
    check(table[flaky]['up_time_percent'] == expected and table[flaky]['outages'] == '1',
          f'{table[flaky]}, expected up time {expected}')
    outage = f'  {failure[:-len(f" {flaky} 网站服务器，内部发生错误500")]}  to {back[:-len(f" {flaky} 访问正常")]}  '
    check(any(line.startswith(outage) and line.endswith(f'{flaky}  网站服务器，内部发生错误500')
              for line in report['text'].split('\r\n')), f'the outage {outage!r} is not listed:\n{report["text"]}')
