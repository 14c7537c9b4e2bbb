"""Soak of the real SiteMonitor.exe's popup: 1 000 reports that each pop the notification up
(a 302 report, shown for 10 s, replacing the popup on screen), handed to the main window as its
workers would post them, with the run log emptied after every 50 so that its rows do not count.
Kernel handles, GDI objects and windows (counted from outside by our tool) and the private memory
of the Wine process must stay flat. --keep-rows leaves the rows in the log, which must fail the
memory bound (shows that the check can fail)."""
import pytest

from .checks import check, log
from .servers import STANDARD
from .wine import memory, open_fds

POPUPS = 1000
STATUS = 302            # a reported status that pops up
INTERVAL_15MIN = 5      # no probe of the one site during the soak: only our reports arrive
HANDLE_SLACK = 4
GDI_SLACK = 2
MEMORY_SLACK_KIB = 256  # a quarter KiB per popup (the 1 000 log rows alone would add ~0.6 KiB each)


@pytest.mark.soak
@pytest.mark.runs_for(20)
def test_popup_soak(wine, programs, loopback, pytestconfig):
    def tool(*args):
        return wine.tool(programs.tool, *args, timeout=600)

    def snapshot(pid):
        counts = tool('counts')
        used = memory(pid)
        return {'handles': int(counts['handles']), 'gdi': int(counts['gdi']),
                'windows': int(counts['windows']), 'private_kib': used['Private'],
                'rss_anon_kib': used['RssAnon'], 'fds': open_fds(pid)}

    keep_rows = pytestconfig.getoption('keep_rows')
    server = loopback()
    server.set('', STANDARD['ok'])
    with wine.start(programs.program) as program:
        tool('run', server.url('/'), 1, INTERVAL_15MIN)
        tool('reports', 1, STATUS, 100, 50, 'clear')  # warm-up: the popup and its font exist
        base = snapshot(program.pid)
        log(f'before {POPUPS} popups: {base}')
        tool('reports', 1, STATUS, POPUPS, 50, *([] if keep_rows else ['clear']))
        after = snapshot(program.pid)
        log(f'after  {POPUPS} popups: {after}')
        visible = tool('popup')['visible'] == '1'
        tool('stop-time')
        tool('close')
        code = program.wait_exit(30)
    failures = []
    if not visible:
        failures.append('the popup is not shown after the reports')
    if after['handles'] - base['handles'] > HANDLE_SLACK:
        failures.append(f'kernel handles grew by {after["handles"] - base["handles"]}')
    if after['gdi'] - base['gdi'] > GDI_SLACK:
        failures.append(f'GDI objects grew by {after["gdi"] - base["gdi"]}')
    if after['windows'] != base['windows']:
        failures.append(f'windows went from {base["windows"]} to {after["windows"]}')
    if after['private_kib'] - base['private_kib'] > MEMORY_SLACK_KIB:
        failures.append(f'private memory grew by {after["private_kib"] - base["private_kib"]} KiB')
    if code != 2:
        failures.append(f'exit code {code}, expected 2')
    check(not failures, 'popup soak: ' + '; '.join(failures))
    log(f'popup soak: passed: handles {base["handles"]}->{after["handles"]}, GDI {base["gdi"]}->'
        f'{after["gdi"]}, windows {base["windows"]}->{after["windows"]}, private '
        f'{base["private_kib"]}->{after["private_kib"]} KiB')
