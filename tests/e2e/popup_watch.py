"""Watching the popup over time from a second driver session: when each text was shown and how
it ended (hidden, or replaced by the next text while still on screen)."""
import threading
import time

from e2e_checks import check
from e2e_environment import Driver


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
    """Polls the popup every 50 ms in a thread of its own and keeps the list of stays. A hidden
    spell shorter than `blink` seconds between two visible states with different texts counts as
    a replacement (a show request while the popup is up hides it for a moment)."""

    POLL_S = 0.05

    def __init__(self, env, blink=0.4):
        self.driver = Driver(env.driver_exe)
        env.cleanups.append(self.driver.close)
        self.blink = blink
        self.stays = []
        self.errors = []
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._run, name='popup-watch', daemon=True)
        self.thread.start()
        env.cleanups.append(self.stop)

    def _run(self):
        hidden_since = None
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
                    elif (current and current.text != answer['text'] and hidden_since is not None
                          and now - hidden_since < self.blink and current.ended == 'hidden'):
                        current.ended = 'replaced'  # the blink of a replacement
                        self.stays.append(Shown(answer['text'], answer['title'],
                                                answer['hwnd'], now))
                    else:
                        if current and current.until is None:
                            current.until, current.ended = now, 'replaced'
                        self.stays.append(Shown(answer['text'], answer['title'],
                                                answer['hwnd'], now))
                    hidden_since = None
                elif current and current.until is None:
                    current.until, current.ended = now, 'hidden'
                    hidden_since = now
            time.sleep(self.POLL_S)  # poll interval of the watch, which runs until stopped

    def snapshot(self):
        with self.lock:
            return list(self.stays)

    def stay_of(self, text, timeout=0):
        """The stay of `text`, waiting up to `timeout` seconds for it to begin."""
        deadline = time.monotonic() + timeout
        while True:
            for stay in self.snapshot():
                if stay.text == text:
                    return stay
            check(time.monotonic() < deadline,
                  f'the popup never showed {text!r}; it showed {self.snapshot()}')
            time.sleep(self.POLL_S)  # bounded by the deadline above

    def wait_ended(self, stay, timeout):
        deadline = time.monotonic() + timeout
        while stay.until is None:
            check(time.monotonic() < deadline,
                  f'the popup still shows {stay.text!r} after {stay.seconds():.1f} s')
            time.sleep(self.POLL_S)  # bounded by the deadline above
        return stay

    def stop(self):
        self.stopping.set()
        self.thread.join(10)

    def finish(self):
        """Stops watching; every poll must have been answered."""
        self.stop()
        check(not self.errors, f'the popup could not be read: {self.errors[:3]}')
        return self.snapshot()
