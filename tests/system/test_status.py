"""Scenario of the status classes: each report as its row, its popup and how long that stays,
and the tray tooltip; recovery announced once; a popup replaced while on screen."""
import time

import pytest

from .checks import (CHECK_LIST, EDIT, EXIT_BY_CLOSE, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST,
                     SOON, START, check, check_row, check_stay, check_tooltip, count_rows, log)
from .driver import PopupWatch
from .servers import Answer

OK, REDIRECT, MISSING = '访问正常', '当前网页300跳转', '网页不存在'
SERVER_ERROR, UNKNOWN = '网站服务器，内部发生错误500', '未知状态'


def report(driver, url, text, timeout):
    """Waits for the site's row with `text` and checks that the tooltip names the status."""
    rows = driver.wait_rows(f'{url} {text}', 1, timeout)
    check_tooltip(driver, text)
    return next(r for r in rows if r.endswith(f'{url} {text}'))


@pytest.mark.runs_for(90)
def test_status_classes(env, loopback):
    """One run, check interval 30 s, one retry after 10 s. The server delays its answers so
    that each report has a moment of its own (a probe's report comes when its answer does):
      ~29 s  a 302 without Location: its row pops up for 10 s; afterwards that site's answers
             are empty (no byte), which Wine reads as status 0: a bare "未知状态" row at ~69 s,
             no popup;
      ~43 s  a steady 200 (answers after 14 s): rows only, now and at ~87 s;
      ~47 s  a 404 on its second probe: its row pops up, and is replaced at
      ~51 s  by a 500 on its second probe, whose row then stays its own 10 s;
      ~81 s  the 404 site answers 200 again: its "访问正常" row pops up for 3 s, once.
    Every report sets the tooltip to its status. How long each popup stays is the program's own
    count, checked exactly below this layer; here: which popups show, in which order, and how
    each goes."""
    sites = loopback()
    sites.set('moved', Answer.status(302, 'Found'))
    sites.set('steady', Answer.status(200, 'OK', delay=14))
    sites.set('missing', Answer.status(404, 'Not Found', delay=4))
    sites.set('error', Answer.status(500, 'Internal Server Error', delay=6))
    moved, steady = sites.url('moved'), sites.url('steady')
    missing, error = sites.url('missing'), sites.url('error')

    env.fresh_data_folder()
    program, driver = env.start()
    driver.must('set-text', EDIT, '\r\n'.join([steady, moved, missing, error]))
    for control in (CHECK_LIST, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST):
        driver.must('combo-set', control, 0)  # "30秒", "1次", "10秒"
    watch = PopupWatch(env)
    started = time.monotonic()
    driver.must('click', START)

    report(driver, moved, REDIRECT, 29 + SOON)
    sites.set('moved', Answer('empty'))
    report(driver, steady, OK, SOON)
    report(driver, missing, MISSING, SOON)
    check(sites.count('missing') == 2, f'the 404 was reported after {sites.count("missing")} '
                                        'probe(s), expected 2 (one retry)')
    sites.set('missing', Answer.status(200, 'OK', delay=4))
    report(driver, error, SERVER_ERROR, SOON)
    rows = driver.wait_rows(UNKNOWN, 1, 30 + SOON)
    check(UNKNOWN in rows, f'no bare "{UNKNOWN}" row: {rows[:4]}')
    check_tooltip(driver, UNKNOWN)
    check(sites.count('moved') == 3, f'the empty answers were reported after '
                                      f'{sites.count("moved") - 1} probe(s), expected 2')
    report(driver, missing, OK, 30 + SOON)
    rows = driver.wait_rows(f'{steady} {OK}', 2, 30 + SOON)
    check_tooltip(driver, OK)
    # Let the recovery popup run out before the record of stays is read.
    watch.wait_ended(watch.stay_of(next(r for r in rows if r.endswith(f'{missing} {OK}'))), 3 + SOON)
    stays = watch.finish()
    log(f'popup stays {stays}, {time.monotonic() - started:.0f} s after Start')

    row = {text: next(r for r in rows if r.endswith(f'{url} {text}'))
           for url, text in ((moved, REDIRECT), (missing, MISSING), (error, SERVER_ERROR),
                             (missing, OK))}
    # The start popup's 3 s may fall between two polls of a busy machine's watch (the window's
    # scenario waits for it in the driver itself).
    stays = [s for s in stays if s.text != '监控开始运行...']
    check(len(stays) == 4, f'expected the popups of the 302, 404, 500 and recovery, got {stays}')
    check_stay(stays[0], row[REDIRECT], 'hidden')
    # The 500 replaced the 404 some seconds into its ten.
    check_stay(stays[1], row[MISSING], 'replaced')
    check_stay(stays[2], row[SERVER_ERROR], 'hidden')
    check_stay(stays[3], row[OK], 'hidden')

    # Rows: each report once, the recovery once, the steady site twice, nothing else.
    for url, text, count in ((steady, OK, 2), (moved, REDIRECT, 1), (missing, MISSING, 1),
                             (error, SERVER_ERROR, 1), (missing, OK, 1)):
        check(count_rows(rows, f'{url} {text}') == count,
              f'expected {count} row(s) "{url} {text}": {rows}')
    check(rows.count(UNKNOWN) == 1, f'expected one bare row: {rows}')
    check(len(rows) == 6 + 7, f'unexpected rows in the log: {rows}')
    check_row(rows[-1], '软件启动')
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE, timeout=15)
