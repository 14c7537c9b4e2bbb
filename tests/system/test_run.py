"""Scenarios of monitoring runs: sites of every kind, Start and Stop, leaving during a run
and starting again."""
import time

import pytest

from .checks import (CHECK_LIST, EDIT, EXIT_BY_CLOSE, MAIN_BLUE, RETRY_COUNT_LIST,
                     RETRY_INTERVAL_LIST, SOON, START, STOP, check, check_buttons, check_row,
                     count_rows)
from .servers import refused_port


@pytest.mark.runs_for(42)
def test_run_and_stop(env, loopback):
    """Sites of every kind in one run (a 200 under a Chinese path, a 404, a 500, a refused port
    and one that never answers), retry count 1 and the shortest intervals: the start rows,
    site.txt in code page 936, the reports (each 4xx and 5xx after one retry), a Stop that has
    to wait for the hanging site, and a second Start that numbers the sites from 1 again. When
    the probes come is the worker's own count, checked to the second by its tests."""
    sites = loopback()
    ok, missing = sites.url('/ok/首页'), sites.url('/missing')
    error, hang = sites.url('/error'), sites.url('/hang')
    refused = f'http://127.0.0.1:{refused_port()}/'
    env.fresh_data_folder()
    program, driver = env.start()
    # Blanks (also ideographic ones) and an empty line around the addresses go at Start.
    driver.must('set-text', EDIT,
                f'  {ok}  \r\n\r\n\u3000{missing}\r\n{error}\r\n{refused}\r\n{hang}\r\n')
    for control, index, text in ((CHECK_LIST, 0, '30秒'), (RETRY_COUNT_LIST, 0, '1次'),
                                 (RETRY_INTERVAL_LIST, 0, '10秒')):
        driver.must('combo-set', control, index)
        check(driver.combo(control)['text'] == text, f'list {control} did not take {text!r}')

    started = time.monotonic()
    driver.must('click', START)
    rows = driver.wait_rows('监控开始运行', 1, SOON)
    expected = ['监控开始运行'] + [f'线程[{n}]启动' for n in (5, 4, 3, 2, 1)] + ['软件启动']
    check(len(rows) == len(expected), f'expected {len(expected)} rows after Start, got {rows}')
    for row, text in zip(rows, expected):
        check_row(row, text)
    check_buttons(driver, False, True)
    joined = f'{ok}\r\n{missing}\r\n{error}\r\n{refused}\r\n{hang}'
    check(driver.text(EDIT) == joined,
          f'the editor holds {driver.text(EDIT)!r}, expected {joined!r}')
    stored = open(env.sites_path, 'rb').read()
    check(stored == joined.encode('gbk'),
          f'site.txt holds {stored!r}, not the list in code page 936')

    # Check interval 30 s: no probe before the interval has (nearly) run out.
    sites.wait_requests('ok', 1, 29 + SOON)
    first_ok = sites.times('ok')[0] - started
    check(first_ok >= 28, f'first probe {first_ok:.1f} s after Start, expected 29 s or later')
    rows = driver.wait_rows(f'{ok} 访问正常', 1, SOON)
    check(count_rows(rows, f'{ok} 访问正常') == 1, f'expected one success row: {rows}')

    # Retry count 1, retry interval 10 s: a 4xx or 5xx is reported on the second failed probe.
    for url, path, text in ((missing, 'missing', '网页不存在'),
                            (error, 'error', '网站服务器，内部发生错误500')):
        rows = driver.wait_rows(f'{url} {text}', 1, 10 + SOON)
        failures = sites.times(path)
        check(len(failures) == 2, f'{path} was reported after {len(failures)} probe(s), expected 2')
        check(failures[1] - failures[0] >= 9,
              f'{path}: retry came {failures[1] - failures[0]:.1f} s after the failure, not 10 s')
        check(count_rows(rows, f'{url} {text}') == 1, f'expected one row for {path}: {rows}')
    # A refused connection has no answer at all: status 22 on the second attempt.
    rows = driver.wait_rows(f'{refused} 不能访问网站，可能本机不能上网，或网站故障', 1, 10 + SOON)
    check(count_rows(rows, f'{refused} 不能访问网站，可能本机不能上网，或网站故障') == 1,
          f'expected one row for the refused site: {rows}')
    check(sites.serving('hang') == 1, 'the site that never answers is not being probed')
    env.screenshot('main-window', driver.must('window')['rect'], MAIN_BLUE)

    # Stop: the hanging probe keeps the fifth worker alive (until the test lets it go, or the
    # probe's 30-second limit), so the stopping state can be seen.
    driver.must('click', STOP)
    for n in (1, 2, 3, 4):
        rows = driver.wait_rows(f'[{n}]线程退出', 1, SOON)
    check(count_rows(rows, '停止中...') == 1, f'expected one stopping row: {rows}')
    check(count_rows(rows, '监控停止!') == 0 and count_rows(rows, '[5]线程退出') == 0,
          f'stop finished although site 5 is still held: {rows}')
    check_buttons(driver, False, False)
    sites.release.set()
    rows = driver.wait_rows('监控停止!', 1, SOON)
    check_row(rows[0], '监控停止!')
    check(all(count_rows(rows[1:6], f'[{n}]线程退出') == 1 for n in (1, 2, 3, 4, 5)),
          f'expected the five worker-end rows below the stopped row: {rows[:7]}')
    check_row(rows[6], '停止中...')
    check_buttons(driver, True, False)
    # Every 200 was reported, and nothing else was logged.
    successes = count_rows(rows, f'{ok} 访问正常')
    check(successes == len(sites.times('ok')),
          f'{len(sites.times("ok"))} probes of the 200 site but rows {rows}')
    check(len(rows) == successes + 17, f'unexpected rows in the log: {rows}')

    # A second run numbers its sites from 1 again; leaving it at once ends promptly, since no
    # probe is in flight yet.
    before = len(rows)
    driver.must('click', START)
    rows = driver.wait_rows('监控开始运行', 2, SOON)
    expected = ['监控开始运行'] + [f'线程[{n}]启动' for n in (5, 4, 3, 2, 1)] + ['监控停止!']
    check(len(rows) == before + 6, f'expected six new rows after the second Start: {rows[:8]}')
    for row, text in zip(rows, expected):
        check_row(row, text)
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE, timeout=SOON)
    env.check_config((30, 1, 10, 0, 2))


@pytest.mark.runs_for(32)
def test_leave_and_restart(env, loopback):
    """Leaving during a run, while a site holds a probe, saves the run's settings and ends with 2
    at once: the held probe is abandoned, not waited for. The next start shows the stored
    settings and sites; Escape ends the program with 2."""
    sites = loopback()
    hang, ok = sites.url('/hang'), sites.url('/ok/页面')
    env.fresh_data_folder()
    program, driver = env.start()
    driver.must('set-text', EDIT, f'{hang}\r\n{ok}')
    for control, index in ((CHECK_LIST, 0), (RETRY_COUNT_LIST, 1), (RETRY_INTERVAL_LIST, 2)):
        driver.must('combo-set', control, index)
    driver.must('click', START)
    driver.wait_rows('监控开始运行', 1, SOON)
    sites.wait(lambda: sites.open.get('hang', 0) == 1, 29 + SOON, 'a held request for hang')

    # The server holds the request until the test lets it go; a program that waited for it would
    # end only at the probe's 30-second limit.
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE, timeout=20)
    env.check_config((30, 2, 60, 0, 2))
    sites.release.set()
    driver.close()

    program, driver = env.start()
    for control, text in ((CHECK_LIST, '30秒'), (RETRY_COUNT_LIST, '2次'),
                          (RETRY_INTERVAL_LIST, '1分钟')):
        check(driver.combo(control)['text'] == text, f'list {control} does not show {text!r}')
    check(driver.text(EDIT) == f'{hang}\r\n{ok}', f'the editor holds {driver.text(EDIT)!r}')
    rows = driver.rows()
    check(len(rows) == 1, f'expected only the start-up row, got {rows}')
    check_row(rows[0], '软件启动')
    driver.must('escape')
    program.check_exit(EXIT_BY_CLOSE)
    env.check_config((30, 2, 60, 0, 2))
