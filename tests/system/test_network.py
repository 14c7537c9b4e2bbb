"""Scenario of the local network going down and coming back. Wine's own IsNetworkAlive always
answers "up", so a copy of the program runs with a stand-in sensapi.dll beside it (built from
tests/e2e/fake_sensapi/) that reads the network as down while a flag file exists on drive C."""
import os
import shutil
import time

import pytest

from .checks import (CHECK_LIST, EDIT, EXIT_BY_CLOSE, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST,
                     SOON, START, check, check_stay, check_tooltip, count_rows, log)
from .driver import PopupWatch
from .servers import Answer

DOWN, BACK, OK = '本机网络断线，请检查网线是否插好', '本机网络恢复正常', '访问正常'
FIRST_PROBE_S = 29    # check interval 30 s: the first probe one tick before it runs out
OUTAGE_S = 8


class Network:
    """The stand-in's flag file: present means the local network is down."""

    def __init__(self, env):
        self.flag = os.path.join(env.wine.prefix, 'drive_c', 'sitemon-e2e-network-down')
        self.up()
        env.cleanups.append(self.up)

    def down(self):
        open(self.flag, 'w').close()

    def up(self):
        if os.path.exists(self.flag):
            os.remove(self.flag)


def program_with_stand_in(env):
    """A copy of SiteMonitor.exe with the stand-in sensapi.dll beside it."""
    folder = os.path.join(env.wine.folder, 'e2e-network')
    os.makedirs(folder)
    shutil.copy2(env.programs.program, folder)
    shutil.copy2(env.programs.fake_sensapi, os.path.join(folder, 'sensapi.dll'))
    return os.path.join(folder, os.path.basename(env.programs.program))


def network_rows(rows):
    return count_rows(rows, DOWN), count_rows(rows, BACK)


@pytest.mark.runs_for(47)
def test_network_down_and_back(env, loopback):
    """One site answering 200, check interval 30 s. The network goes down 3 s after Start for
    8 s: one "断线" row and a popup that would stay 60 s, no probe meanwhile; back: the popup is
    replaced by the 5-second "恢复正常" one and one row; the first probe comes the outage later
    than 29 s (the countdown stood still; to the second in the probe worker's tests) and, as
    the first 2xx after an outage, pops up for 3 s.
    A second, short outage gives one row of each again. The tooltip follows every report."""
    sites = loopback()
    sites.set('steady', Answer.status(200, 'OK'))
    url = sites.url('steady')
    network = Network(env)

    env.fresh_data_folder()
    program, driver = env.start(exe=program_with_stand_in(env), dll_overrides='sensapi=n,b')
    driver.must('set-text', EDIT, url)
    for control in (CHECK_LIST, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST):
        driver.must('combo-set', control, 0)  # "30秒", "1次", "10秒"
    watch = PopupWatch(env)
    started = time.monotonic()
    driver.must('click', START)
    driver.wait_rows('监控开始运行', 1, SOON)
    time.sleep(3)  # the outage begins 3 s into the run

    network.down()
    went_down = time.monotonic()
    driver.wait_rows(DOWN, 1, SOON)
    down_stay = watch.stay_of(DOWN, SOON)
    check_tooltip(driver, DOWN)
    time.sleep(OUTAGE_S)  # the worker reports the outage on every tick meanwhile
    rows = driver.rows()
    check(network_rows(rows) == (1, 0), f'{OUTAGE_S} s of outage gave rows {rows[:5]}')
    check(down_stay.until is None, f'the outage popup went after {down_stay.seconds():.1f} s')
    check(sites.count('steady') == 0, 'the site was probed while the network was down')

    network.up()
    outage = time.monotonic() - went_down
    driver.wait_rows(BACK, 1, SOON)
    back_stay = watch.wait_ended(watch.stay_of(BACK, SOON), 5 + SOON)
    check_tooltip(driver, BACK)
    check(down_stay.ended == 'replaced', f'the outage popup was {down_stay.ended}, expected replaced')

    # The countdown stood still during the outage.
    sites.wait(lambda: sites.count('steady') > 0, FIRST_PROBE_S + SOON, 'the first probe')
    first = sites.times('steady')[0]
    log(f'first probe {first - started:.1f} s after Start, outage {outage:.1f} s')
    # A lower bound only: a busy machine makes the probe later, never earlier.
    check(first - started >= FIRST_PROBE_S + outage / 2,
          f'first probe {first - started:.1f} s after Start: the countdown ran on during the '
          f'{outage:.1f}-second outage')
    recovery = next(r for r in driver.wait_rows(f'{url} {OK}', 1, SOON) if r.endswith(f'{url} {OK}'))
    ok_stay = watch.wait_ended(watch.stay_of(recovery, SOON), 3 + SOON)
    check_tooltip(driver, OK)

    # A second outage: again one row of each. (Once the popup has been hidden a while, so that
    # the watch does not take the next popup for a replacement of the one that just went.)
    watch.wait_past_blink()
    network.down()
    driver.wait_rows(DOWN, 2, SOON)
    time.sleep(3)  # the second outage lasts 3 s
    network.up()
    driver.wait_rows(BACK, 2, SOON)
    rows = driver.rows()
    stays = watch.finish()
    log(f'popup stays {stays}')
    check(network_rows(rows) == (2, 2), f'two outages gave rows {rows[:8]}')
    check_stay(back_stay, BACK, 'hidden')
    check_stay(ok_stay, recovery, 'hidden')
    check(count_rows(rows, f'{url} {OK}') == 1, f'expected one row of the site: {rows[:8]}')
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE, timeout=15)
