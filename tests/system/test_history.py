"""The history on disk: the run log's rows in GetLog's day files across a kill and a restart,
the console program's report of them, the pruning of old day files, and the window and the
console on one data folder at once, their runs kept apart."""
import csv
import datetime
import io
import os
import re
import signal
import subprocess
import time

import pytest

from .checks import (CHECK_LIST, EDIT, EXIT_BY_CLOSE, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST, START,
                     STOP, check)
from .servers import STANDARD
from .test_report_page import PageReader
from .wine import find_built, wait_pid

DAY_FILE = re.compile(r'\d{4}-\d\d-\d\d\.log')
FACTS = re.compile(r'\t~ run=([WC]-\d+-\d+) t=(\d+) u=(\d+) z=[+-]\d+( carry)?$')


def history_lines(folder):
    """(row, run, t) of every line of the day files in date order, carried lines left out; each
    file starts with the byte-order mark and holds whole CR LF lines only, each with its facts."""
    lines = []
    recent = (datetime.date.today() - datetime.timedelta(days=10)).strftime('%Y-%m-%d.log')
    for name in sorted(n for n in os.listdir(folder) if DAY_FILE.fullmatch(n) and n >= recent):
        data = open(os.path.join(folder, name), 'rb').read()
        check(data.startswith(b'\xef\xbb\xbf') and data.endswith(b'\r\n'), f'{name} is not whole: {data[-40:]!r}')
        for line in data[3:].decode('utf-8').split('\r\n')[:-1]:
            facts = FACTS.search(line)
            check(facts is not None, f'a line without its facts: {line!r}')
            if not facts.group(4):
                lines.append((line[:facts.start()], facts.group(1), int(facts.group(2))))
    return lines


def history_rows(folder):
    return [row for row, _, _ in history_lines(folder)]


def wait_history(folder, holds, what, timeout=90):
    deadline = time.monotonic() + timeout
    while True:
        lines = history_lines(folder) if os.path.isdir(folder) else []
        if holds(lines):
            return lines
        check(time.monotonic() < deadline, f'the history never held {what}: {lines[-5:]}')
        time.sleep(0.5)


def up_and_down(lines, url, end):
    """Up and down seconds of one site in one run's (row, t) lines, by the run's counter: each of
    its rows holds until its next row or the run's end."""
    marks = [(t, r.endswith(' 访问正常')) for r, t in lines if f' {url} ' in r] + [(end, None)]
    up = down = 0
    for (at, is_up), (later, _) in zip(marks, marks[1:]):
        up, down = (up + later - at, down) if is_up else (up, down + later - at)
    return up, down


@pytest.mark.runs_for(170)
def test_history_and_report(env, loopback):
    """Three loopback sites (one up, one missing, one failing for a while and coming back): the
    day file holds exactly the rows the log showed, the rows of a killed run and of the next one;
    --report gives each site its up time and lists the outage; a day file 100 days old is pruned
    by the second run (the first cannot tell a clock ahead from a long break), a file of another
    name is kept."""
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
    wait_history(env.trace_path, lambda lines: [r for r, _, _ in lines] == first_run, 'the rows shown')
    program.stop()  # killed: no stop rows
    # The newest day file was 100 days old when the run began: a clock 100 days ahead would look
    # the same, so this run prunes nothing by age.
    check(os.path.exists(os.path.join(env.trace_path, old)), f'{old} was pruned by a run that cannot tell the date')
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
    wait_history(env.trace_path, lambda lines: len(lines) == len(first_run + second_run), 'the rows shown')
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE)
    # The second run found today's file: it believes the clock and prunes the old one.
    check(not os.path.exists(os.path.join(env.trace_path, old)), f'{old} was not pruned')
    check(os.path.exists(os.path.join(env.trace_path, 'notes.txt')), 'a file not named as a day file was deleted')
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
    # end of each run (the killed run ends at its last line, the second at its stop row).
    failure = next(r for r in first_run if r.endswith(f'{flaky} 网站服务器，内部发生错误500'))
    back = next(r for r in first_run if r.endswith(f'{flaky} 访问正常'))
    runs = {}
    for r, n, t in history_lines(env.trace_path):
        runs.setdefault(n, []).append((r, t))
    check(len(runs) == 2, f'runs {sorted(runs)}')
    first_lines, second_lines = (runs[n] for n in sorted(runs, key=lambda n: int(n.split('-')[1])))
    up1, down1 = up_and_down(first_lines, flaky, first_lines[-1][1])
    up2, down2 = up_and_down(second_lines, flaky, next(t for r, t in second_lines if r.endswith('监控停止!')))
    up, counted = up1 + up2, up1 + up2 + down1 + down2
    hundredths = (up * 20000 + counted) // (2 * counted)
    expected = f'{hundredths // 100}.{hundredths % 100:02d}'
    check(table[flaky]['up_time_percent'] == expected and table[flaky]['outages'] == '1',
          f'{table[flaky]}, expected up time {expected}')
    outage = f'  {failure[:-len(f" {flaky} 网站服务器，内部发生错误500")]} 至 {back[:-len(f" {flaky} 访问正常")]}  '
    check(any(line.startswith(outage) and line.endswith(f'{flaky}  网站服务器，内部发生错误500')
              for line in report['text'].split('\r\n')), f'the outage {outage!r} is not listed:\n{report["text"]}')


def report(env, *arguments, stdout=subprocess.PIPE):
    console = find_built(env.programs.build, 'SiteMonitorConsole.exe')
    result = subprocess.run([*env.wine.launcher, 'wine', console, '--report', *arguments], stdout=stdout,
                            stderr=subprocess.PIPE, timeout=120, stdin=subprocess.DEVNULL)
    check(result.returncode == 0, f'--report ended with {result.returncode}: {result.stderr!r}')
    return result.stdout.decode('utf-8') if result.stdout is not None else None


@pytest.mark.runs_for(240)
def test_window_and_console_on_one_folder(env, loopback, tmp_path):
    """The console watches a missing page on the stored list while the window starts, watches
    another site and stops; the console is killed, and started again later: the report counts
    each run by its own lines (the console's killed run ends at its own last line, not at the
    window's stop or its next start), the page shows the same figures, and a CSV written to a file
    starts with the mark."""
    sites = loopback()
    ok, missing = sites.url('/ok'), sites.url('/missing')
    env.fresh_data_folder()
    os.makedirs(env.data)
    console = find_built(env.programs.build, 'SiteMonitorConsole.exe')

    def start_console():
        with open(env.sites_path, 'wb') as f:
            f.write(missing.encode('ascii'))
        return subprocess.Popen([*env.wine.launcher, 'wine', console, '--interval', '30', '--retries', '1',
                                 '--retry-interval', '10'], stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def has(run, text, count=1):
        return lambda lines: sum(1 for r, n, _ in lines if n.startswith(run) and r.endswith(text)) >= count

    first = start_console()
    try:
        wait_history(env.trace_path, has('C-', f'{missing} 网页不存在'), "the console's first failure row")
        program, driver = env.start()
        driver.must('set-text', EDIT, ok)
        for control in (CHECK_LIST, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST):
            driver.must('combo-set', control, 0)
        driver.must('click', START)
        driver.wait_rows(f'{ok} 访问正常', 1, 80)
        driver.must('click', STOP)
        driver.wait_rows('监控停止!', 1, 60)
        wait_history(env.trace_path, has('W-', '监控停止!'), "the window's stop row")
        pid = wait_pid(console, env.wine.prefix)
        os.kill(pid, signal.SIGKILL)  # the console killed: no stop rows
        first.wait(60)
        driver.must('close')
        program.check_exit(EXIT_BY_CLOSE)
    finally:
        if first.poll() is None:
            first.kill()
            first.wait()

    runs = sorted({n for _, n, _ in history_lines(env.trace_path) if n.startswith('C-')})
    check(len(runs) == 1, f'console runs {runs}')
    second = start_console()
    try:
        wait_history(env.trace_path, lambda lines: len({n for _, n, _ in lines if n.startswith('C-')}) == 2 and
                     has('C-', f'{missing} 网页不存在', 2)(lines), "the second console run's failure row")
        second.send_signal(signal.SIGINT)
        check(second.wait(60) == 0, 'the console did not end on Ctrl+C')
    finally:
        if second.poll() is None:
            second.kill()
            second.wait()

    # The figures by the rules, from the lines themselves: the missing page down from each console
    # run's first failure row to that run's own end (its last line, or its stop row); the window's
    # site up from its first success row to the window's stop row.
    lines = history_lines(env.trace_path)
    down = outages = 0
    for run in sorted({n for _, n, _ in lines if n.startswith('C-')}):
        own = [(r, t) for r, n, t in lines if n == run]
        start = next(t for r, t in own if r.endswith(f'{missing} 网页不存在'))
        end = next((t for r, t in own if r.endswith(' 监控停止!')), own[-1][1])
        down, outages = down + end - start, outages + 1
    window = [(r, t) for r, n, t in lines if n.startswith('W-')]
    up = next(t for r, t in window if r.endswith(' 监控停止!')) - next(t for r, t in window if r.endswith(f'{ok} 访问正常'))

    table = {r['address']: r for r in csv.DictReader(io.StringIO(report(env, '--csv')))}
    check(set(table) == {ok, missing}, f'the report lists {sorted(table)}')
    check((table[missing]['up_time_percent'], table[missing]['down_seconds'], table[missing]['outages']) ==
          ('0.00', str(down), str(outages)), f'{table[missing]}, expected {down} s down in {outages} outages')
    check((table[ok]['up_time_percent'], table[ok]['up_seconds'], table[ok]['down_seconds']) == ('100.00', str(up), '0'),
          f'{table[ok]}, expected {up} s up')
    text = report(env)
    today = datetime.date.today().strftime('%Y-%m-%d')
    check(text.startswith('网站可用率，最近 7 天') and f'历史记录始于 {today}' in text, text)  # the folder is new
    page = tmp_path / 'page.html'
    report(env, '--html', 'Z:' + str(page).replace('/', '\\'))
    reader = PageReader()
    reader.feed(page.read_text(encoding='utf-8'))
    shown = {row['cells'][0]: row['cells'] for row in reader.rows}
    check(set(shown) == {ok, missing}, f'the page lists {sorted(shown)}')
    for url, figures in ((missing, ('0.00', str(outages))), (ok, ('100.00', '0'))):
        check((shown[url][2].split('%')[0], shown[url][6]) == figures, f'the page shows {shown[url]} for {url}')
    path = tmp_path / 'report.csv'
    with open(path, 'wb') as f:
        report(env, '--csv', stdout=f)
    check(path.read_bytes().startswith(b'\xef\xbb\xbfaddress,'), f'{path.read_bytes()[:20]!r}')
