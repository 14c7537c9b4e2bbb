"""Working the program from outside: our driver program in session mode, a watch over the popup
from a second driver session, and real mouse input through X."""
import json
import os
import select
import subprocess
import threading
import time

from .checks import SOON, check, wait_for


class Driver:
    """Our driver program in session mode: one JSON array per command in, one JSON object out;
    what it says on standard error goes to the file `errors` (kept for a failed test's report)."""

    ANSWER_LIMIT_S = 90

    def __init__(self, exe, errors):
        with open(errors, 'ab') as stderr:
            self.proc = subprocess.Popen(['wine', exe, 'session'], stdin=subprocess.PIPE,
                                         stdout=subprocess.PIPE, stderr=stderr)
        self.pending, self.last_rows = b'', None

    def _line(self, timeout):
        deadline = time.monotonic() + timeout
        fd = self.proc.stdout.fileno()
        while b'\n' not in self.pending:
            left = deadline - time.monotonic()
            check(left > 0, 'the driver did not answer in time')
            ready, _, _ = select.select([fd], [], [], left)
            if ready:
                chunk = os.read(fd, 65536)
                check(chunk != b'', 'the driver ended unexpectedly')
                self.pending += chunk
        line, self.pending = self.pending.split(b'\n', 1)
        return json.loads(line.decode('ascii'))

    def call(self, *words):
        self.proc.stdin.write((json.dumps([str(w) for w in words]) + '\n').encode('ascii'))
        self.proc.stdin.flush()
        answer = self._line(self.ANSWER_LIMIT_S)
        self.last_rows = answer.get('rows', self.last_rows)  # for a failed test's report
        return answer

    def must(self, *words):
        answer = self.call(*words)
        check(answer.get('ok'), f'driver {" ".join(map(str, words))!r} failed: {answer}')
        return answer

    # Conveniences over the generic commands.
    def rows(self):
        return self.must('log-rows')['rows']

    def text(self, control):
        return self.must('get-text', control)['text']

    def enabled(self, control):
        return self.must('is-enabled', control)['enabled']

    def combo(self, control):
        return self.must('combo-get', control)

    def wait_rows(self, substring, count, timeout_s):
        answer = self.call('wait-rows', substring, count, int(timeout_s * 1000))
        check(answer.get('ok'), f'no {count} row(s) with {substring!r} within {timeout_s} s; '
                                f'log: {answer.get("rows")}')
        return answer['rows']

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write(b'["quit"]\n')
                self.proc.stdin.close()
                self.proc.wait(10)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()


def centre(rect):
    left, top, right, bottom = rect
    return (left + right) // 2, (top + bottom) // 2


def click_at(point, button=1):
    """A real click through X at a point of the screen."""
    subprocess.run(['xdotool', 'mousemove', str(point[0]), str(point[1]), 'click', str(button)],
                   check=True, timeout=10)


def control_centre(driver, control):
    return centre(driver.must('is-enabled', control)['rect'])


def mouse_click(driver, control):
    """A real left click (through X) in the middle of a control of the main window."""
    click_at(control_centre(driver, control))


def mouse_drag(start, delta):
    """Presses the left button at `start`, moves by `delta` in two steps and releases (X)."""
    x, y = start
    dx, dy = delta
    subprocess.run(['xdotool', 'mousemove', str(x), str(y), 'mousedown', '1',
                    'mousemove', str(x + dx // 2), str(y + dy // 2),
                    'mousemove', str(x + dx), str(y + dy), 'mouseup', '1'], check=True, timeout=10)


class Shown:
    """One stay of a text on screen."""

    def __init__(self, text, title, hwnd, since):
        self.text, self.title, self.hwnd, self.since = text, title, hwnd, since
        self.until = None    # monotonic time it went, None while still shown
        self.ended = None    # 'hidden' or 'replaced'

    def seconds(self):
        return (self.until if self.until is not None else time.monotonic()) - self.since

    def __repr__(self):
        return f'<{self.text!r} {self.seconds():.1f} s {self.ended or "shown"}>'


class PopupWatch:
    """Watches the popup over time from a driver session of its own: polls it every 200 ms (a
    popup stays three seconds or more; each poll costs the program and the wineserver) in a
    thread and keeps the list of stays (when each text was shown and how it ended: hidden, or
    replaced by the next text while still on screen). A hidden spell shorter than `blink`
    seconds between two visible states with different texts counts as a replacement (a show
    request while the popup is up hides it for a moment)."""

    POLL_S = 0.2

    def __init__(self, env, blink=1.5):
        self.driver = env.driver()
        self.blink = blink
        self.stays = []
        self.errors = []
        self.hidden_since = None
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._run, name='popup-watch', daemon=True)
        self.thread.start()
        env.cleanups.append(self.stop)
        env.watches.append(self)

    def _run(self):
        while not self.stopping.is_set():
            answer = self.driver.call('popup')
            now = time.monotonic()
            with self.lock:
                current = self.stays[-1] if self.stays else None
                if not answer.get('ok'):
                    self.errors.append(answer)
                elif answer.get('found') and answer['visible']:
                    if current and current.until is None and current.text == answer['text']:
                        pass
                    elif (current and current.text != answer['text'] and self.hidden_since is not None
                          and now - self.hidden_since < self.blink and current.ended == 'hidden'):
                        current.ended = 'replaced'  # the blink of a replacement
                        self.stays.append(Shown(answer['text'], answer['title'],
                                                answer['hwnd'], now))
                    else:
                        if current and current.until is None:
                            current.until, current.ended = now, 'replaced'
                        self.stays.append(Shown(answer['text'], answer['title'],
                                                answer['hwnd'], now))
                    self.hidden_since = None
                elif current and current.until is None:
                    current.until, current.ended = now, 'hidden'
                    self.hidden_since = now
            time.sleep(self.POLL_S)  # poll interval of the watch, which runs until stopped

    def snapshot(self):
        with self.lock:
            return list(self.stays)

    def stay_of(self, text, timeout=0):
        """The stay of `text`, waiting up to `timeout` seconds for it to begin."""
        return wait_for(lambda: f'the popup to show {text!r}; it showed {self.snapshot()}', timeout,
                        lambda: next((s for s in self.snapshot() if s.text == text), None), self.POLL_S)

    def wait_ended(self, stay, timeout):
        wait_for(lambda: f'{stay.text!r} to go; shown {stay.seconds():.1f} s', timeout,
                 lambda: stay.until is not None, self.POLL_S)
        return stay

    def wait_past_blink(self, timeout=SOON):
        """Waits until the popup has been seen hidden for longer than a replacement's blink, so
        that the next text to show counts as a popup of its own."""
        def past():
            with self.lock:
                since = self.hidden_since
            return since is not None and time.monotonic() - since > self.blink + self.POLL_S
        wait_for(f'the popup to be seen hidden for {self.blink} s', timeout, past, self.POLL_S)

    def stop(self):
        self.stopping.set()
        self.thread.join(10)

    def finish(self):
        """Stops watching; every poll must have been answered."""
        self.stop()
        check(not self.errors, f'the popup could not be read: {self.errors[:3]}')
        return self.snapshot()
