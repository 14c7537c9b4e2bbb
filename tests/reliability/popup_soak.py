#!/usr/bin/env python3
"""Soak of the real SiteMonitor.exe's popup: 1 000 reports that each pop the notification up
(a 302 report, shown for 10 s, replacing the popup on screen), handed to the main window as its
workers would post them, with the run log emptied after every 50 so that its rows do not count.
Kernel handles, GDI objects and windows (counted from outside by our tool) and the private memory
of the Wine process must stay flat. Runs inside script/lib/wine-env.sh (WINEPREFIX, DISPLAY).

    popup_soak.py --build <windows build> [--popups N]"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_process as wp  # noqa: E402
from loopback import LoopbackServer  # noqa: E402

INTERVAL_15MIN = 5      # no probe of the one site during the soak: only our reports arrive
HANDLE_SLACK = 4
GDI_SLACK = 2
MEMORY_SLACK_KIB = 256  # a quarter KiB per popup (the 1 000 log rows alone would add ~0.6 KiB each)


def snapshot(tool, pid):
    counts = tool('counts')
    memory = wp.memory(pid)
    return {'handles': int(counts['handles']), 'gdi': int(counts['gdi']), 'windows': int(counts['windows']),
            'private_kib': memory['Private'], 'rss_anon_kib': memory['RssAnon'], 'fds': wp.open_fds(pid)}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--build', required=True)
    parser.add_argument('--popups', type=int, default=1000)
    parser.add_argument('--status', type=int, default=302, help='the reported status (302 pops up)')
    parser.add_argument('--keep-rows', action='store_true',
                        help='do not empty the log: its rows then grow the memory (shows the check can fail)')
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    tool_exe = os.path.join(build, 'tests', 'reliability', 'sitemon_reliability_tool.exe')
    wp.keep_notice_local(build)
    tool = lambda *a: wp.tool(tool_exe, *a, timeout=600)  # noqa: E731
    failures = []
    with LoopbackServer() as server, wp.Program(os.path.join(build, 'SiteMonitor.exe'),
                                                os.environ['WINEPREFIX']) as program:
        tool('run', server.url('/'), 1, INTERVAL_15MIN)
        tool('reports', 1, args.status, 100, 50, 'clear')  # warm-up: the popup and its font exist
        base = snapshot(tool, program.pid)
        print(f'before {args.popups} popups: {base}', flush=True)
        tool('reports', 1, args.status, args.popups, 50, *([] if args.keep_rows else ['clear']))
        after = snapshot(tool, program.pid)
        print(f'after  {args.popups} popups: {after}', flush=True)
        visible = tool('popup')['visible'] == '1'
        tool('stop-time')
        tool('close')
        code = program.wait(30)
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
    if failures:
        print('popup soak: FAILED: ' + '; '.join(failures))
        return 1
    print(f'popup soak: passed: handles {base["handles"]}->{after["handles"]}, GDI {base["gdi"]}->{after["gdi"]}, '
          f'windows {base["windows"]}->{after["windows"]}, private {base["private_kib"]}->{after["private_kib"]} KiB')
    return 0


if __name__ == '__main__':
    try:
        sys.exit(main())
    except wp.ToolError as error:
        print(f'popup soak: FAILED: {error}')
        sys.exit(1)
