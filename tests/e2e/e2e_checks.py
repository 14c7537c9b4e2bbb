"""What every end-to-end scenario shares: the program's texts and control ids, failures,
log-row patterns and deadline waits."""
import datetime
import re
import time

STAMP = r'(\d{4})-([1-9]|1[0-2])-([1-9]|[12]\d|3[01]) ([01]\d|2[0-3]):([0-5]\d):([0-5]\d) '
CHECK_INTERVALS = ['30秒', '1分钟', '2分钟', '5分钟', '10分钟', '15分钟']
RETRY_COUNTS = ['1次', '2次', '3次']
RETRY_INTERVALS = ['10秒', '30秒', '1分钟', '2分钟', '5分钟']
TITLE_LINE = 'Corvell网站监控 1.1.0.0'
EDIT, START, STOP, CLEAR_LOG = 1000, 1002, 1003, 1004
CLOSE_BUTTON, MINIMISE, TITLE, RUN_LOG = 1007, 1008, 1006, 1018
CHECK_LIST, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST = 1009, 1010, 1011
MAIN_BLUE = (15, 146, 214)
POPUP_WHITE = (255, 255, 255)
EXIT_BY_CLOSE = 2


class Failure(Exception):
    """A check of a scenario did not hold."""


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


def check_row(row, text):
    check(row_pattern(text).match(row) is not None, f'expected a row "<stamp> {text}", got {row!r}')


def count_rows(rows, text):
    pattern = row_pattern(text)
    return sum(1 for r in rows if pattern.match(r))


def wait_for(what, timeout, probe, poll=0.1):
    """Polls `probe` (returning a truthy result when the condition holds) until a deadline."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        check(time.monotonic() < deadline, f'timed out after {timeout} s waiting for {what}')
        time.sleep(poll)  # poll interval, bounded by the deadline above


def check_buttons(driver, start_enabled, stop_enabled):
    """Start (1002) and Stop (1003) are enabled as given."""
    state = (driver.enabled(START), driver.enabled(STOP))
    check(state == (start_enabled, stop_enabled),
          f'Start/Stop enabled {state}, expected {(start_enabled, stop_enabled)}')
