"""What the tests share: the program's texts, its control ids (read from res/resource.h),
failures, log-row patterns and deadline waits."""
import datetime
import re
import struct
import time
from pathlib import Path
from types import SimpleNamespace

REPO = Path(__file__).resolve().parents[2]


def resource_ids(header=REPO / 'res' / 'resource.h'):
    """The numeric #defines of the resource header, by name."""
    found = re.findall(r'^\s*#define\s+(\w+)\s+(\d+)\b', header.read_text(encoding='utf-8'), re.M)
    return SimpleNamespace(**{name: int(value) for name, value in found})


ID = resource_ids()
EDIT, START, STOP, CLEAR_LOG = ID.IDC_SITE_LIST, ID.IDC_START, ID.IDC_STOP, ID.IDC_CLEAR_LOG
CLOSE_BUTTON, MINIMISE, TITLE, RUN_LOG = ID.IDC_CLOSE, ID.IDC_MINIMIZE, ID.IDC_TITLE_LINE, ID.IDC_RUN_LOG
CHECK_LIST, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST = (ID.IDC_CHECK_INTERVAL, ID.IDC_RETRY_COUNT,
                                                     ID.IDC_RETRY_INTERVAL)
TRAY_SHOW, TRAY_EXIT, TRAY_ABOUT = ID.ID_TRAY_SHOW, ID.ID_TRAY_EXIT, ID.ID_TRAY_ABOUT

STAMP = r'(\d{4})-([1-9]|1[0-2])-([1-9]|[12]\d|3[01]) ([01]\d|2[0-3]):([0-5]\d):([0-5]\d) '
CHECK_INTERVALS = ['30秒', '1分钟', '2分钟', '5分钟', '10分钟', '15分钟']
RETRY_COUNTS = ['1次', '2次', '3次']
RETRY_INTERVALS = ['10秒', '30秒', '1分钟', '2分钟', '5分钟']
TITLE_LINE = 'Corvell网站监控 1.1.0.0'
MAIN_BLUE = (15, 146, 214)
POPUP_WHITE = (255, 255, 255)
EXIT_BY_CLOSE = 2
# How long the program may take, on a machine busy with other work, to do what it does at once
# (a row after a click, a window shown, a popup hidden): a bound for waits, never a measurement.
SOON = 30


class Failure(AssertionError):
    """A check of a test did not hold."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(message):
    print(f'[{time.strftime("%H:%M:%S")}] {message}', flush=True)


def row_pattern(text):
    """A whole log row: the time stamp, one blank, then exactly `text`."""
    return re.compile('^' + STAMP + re.escape(text) + '$')


def stamp_of(row):
    m = re.match('^' + STAMP, row)
    check(m is not None, f'row without a valid time stamp: {row!r}')
    return datetime.datetime(*map(int, m.groups()))


def check_stamp_is_now(row):
    """The row's stamp is the local time of this machine, give or take a little."""
    drift = abs((stamp_of(row) - datetime.datetime.now()).total_seconds())
    check(drift < 120, f'row stamped {drift:.0f} s away from the local time: {row!r}')


def config_summary(data):
    """Config.dat's bytes as a failure message shows them."""
    if data is None:
        return 'missing'
    fields = struct.unpack('<5i', data[:20]) if len(data) >= 20 else data.hex(' ')
    return f'{len(data)} bytes, fields {fields}, the rest {"zero" if not any(data[20:]) else data[20:].hex()}'


def check_row(row, text):
    check(row_pattern(text).match(row) is not None, f'expected a row "<stamp> {text}", got {row!r}')


def count_rows(rows, text):
    pattern = row_pattern(text)
    return sum(1 for r in rows if pattern.match(r))


def wait_for(what, timeout, probe, poll=0.1):
    """Polls `probe` (returning a truthy result when the condition holds) until a deadline;
    `what` is the awaited thing's name, or a function that says it when the wait has failed."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        check(time.monotonic() < deadline,
              f'timed out after {timeout} s waiting for {what() if callable(what) else what}')
        time.sleep(poll)  # poll interval, bounded by the deadline above


def check_buttons(driver, start_enabled, stop_enabled):
    """Start and Stop are enabled as given."""
    state = (driver.enabled(START), driver.enabled(STOP))
    check(state == (start_enabled, stop_enabled),
          f'Start/Stop enabled {state}, expected {(start_enabled, stop_enabled)}')


def wait_window_back(driver, what):
    """Waits for the main window to be visible and not minimised, in the same place on two
    reads in a row (seen from outside, a window being restored is for a moment no longer
    minimised but still where its icon was); returns its state."""
    seen = []

    def settled():
        seen.append(driver.must('window'))
        if len(seen) > 1 and all(w['visible'] and not w['iconic'] for w in seen[-2:]) \
                and seen[-2]['rect'] == seen[-1]['rect']:
            return seen[-1]
        return None
    return wait_for(what, SOON, settled)


def tray_tips(driver):
    """The tooltips of the program's one tray icon."""
    answer = driver.must('tray-tip')
    check(answer['icons'] == 1, f'expected one tray icon, found {answer["icons"]}')
    return answer['tips']


def check_tooltip(driver, text):
    expected = [f'Dorvane网站监控\n状态：{text}']
    tips = tray_tips(driver)
    check(tips == expected, f'tooltip {tips}, expected {expected}')


def check_stay(stay, text, ended):
    """A popup's text, title and how it went. How long it stayed is the program's own count,
    checked exactly by the popup's and the status handler's tests."""
    check(stay.text == text, f'the popup showed {stay.text!r}, expected {text!r}')
    check(stay.title == 'Dorvane提示', f'popup title {stay.title!r}')
    check(stay.ended == ended, f'{text!r} stayed {stay.seconds():.1f} s and was {stay.ended}; '
                               f'expected {ended}')
