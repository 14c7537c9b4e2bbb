"""The program under test in one test's Wine: SiteMonitor.exe with a driver for it, its data
folder and stored files, and the screen."""
import os
import re
import shutil
import struct
import time
import traceback

from PIL import ImageGrab

from .checks import SOON, check, config_summary, log
from .driver import Driver
from .wine import read


class Environment:
    def __init__(self, wine, programs, artifacts):
        self.wine, self.programs, self.artifacts = wine, programs, artifacts
        self.data = wine.data_folder()
        self.config_path = os.path.join(self.data, 'Config.dat')
        self.sites_path = os.path.join(self.data, 'site.txt')
        self.trace_path = os.path.join(self.data, 'GetLog')
        os.makedirs(self.artifacts, exist_ok=True)
        self.cleanups, self.drivers, self.watches = [], [], []

    def fresh_data_folder(self):
        shutil.rmtree(self.data, ignore_errors=True)
        check(not os.path.exists(self.data), 'the data folder could not be removed')

    def driver(self):
        """A driver session of its own, ended with the test."""
        driver = Driver(self.programs.driver, os.path.join(self.wine.folder, 'driver-stderr.txt'))
        self.cleanups.append(driver.close)
        self.drivers.append(driver)
        return driver

    def start(self, minimised=False, exe=None, dll_overrides=None):
        """Starts the program and a driver for it; waits for the main window (shown, unless the
        program is started minimised). The program always runs with the notice host mapped to
        127.0.0.1, so its notice requests never leave the machine (nothing listens there unless a
        test serves the notice service)."""
        program = self.wine.start(exe or self.programs.program, minimised, dll_overrides)
        self.cleanups.append(program.stop)
        driver = self.driver()
        answer = driver.call('wait-window', 2 * SOON * 1000, 'any' if minimised else 'shown')
        check(answer.get('ok'), f'the main window did not appear: {answer}')
        if not minimised:
            check(answer['visible'] and not answer['iconic'], f'main window not shown: {answer}')
        return program, driver

    def seen(self):
        """The run log (read now if the program still answers, else as a driver last saw it) and
        the popups the watches saw, as lines of a failed test's report."""
        rows, popup = None, None
        if self.drivers:
            try:
                driver = self.driver()
                rows, popup = driver.call('log-rows').get('rows'), driver.call('popup')
            except Exception as error:  # the program may have hung or ended
                log(f'the run log could not be read at the failure: {error}')
        if rows is None:
            rows = next((d.last_rows for d in reversed(self.drivers) if d.last_rows is not None), None)
        lines = [f'run log ({"none seen" if rows is None else len(rows)} rows, newest first):']
        lines += [f'  {row}' for row in rows or ()]
        lines.append(f'the popup now: {popup}')
        for watch in self.watches:
            lines.append(f'popups seen: {watch.snapshot()}')
        return lines

    def cleanup(self):
        while self.cleanups:
            try:
                self.cleanups.pop()()
            except Exception:  # cleanup goes on; the test's own result stands
                traceback.print_exc()

    # Stored files.
    def config(self):
        check(os.path.isfile(self.config_path), 'Config.dat is missing')
        with open(self.config_path, 'rb') as f:
            data = f.read()
        check(len(data) == 240, f'Config.dat has {len(data)} bytes, not 240')
        return struct.unpack('<5i', data[:20]), data[20:]

    def check_config(self, expected):
        fields, opaque = self.config()
        check(fields == expected, f'Config.dat holds {fields}, expected {expected}')
        check(opaque == bytes(220), 'the 220-byte block of Config.dat is not all zero')

    def check_trace_folder_holds_history(self):
        """GetLog exists and holds only the history's day files."""
        check(os.path.isdir(self.trace_path), 'the GetLog folder is missing')
        names = os.listdir(self.trace_path)
        check(all(re.fullmatch(r'\d{4}-\d\d-\d\d\.log', n) for n in names), f'GetLog holds {names}')

    # Screen.
    def screenshot(self, name, rect, background):
        """Saves the screen, cut to `rect`, as <name>.png once the window there is painted: its
        `background` colour shows near its left and right edges (waits up to a deadline)."""
        left, top, right, bottom = rect
        middle = (top + bottom) // 2
        probes = [(left + 5, middle), (right - 5, middle)]
        deadline = time.monotonic() + 10
        while True:
            shot = ImageGrab.grab(xdisplay=self.wine.display.name)
            colours = [shot.getpixel(point)[:3] for point in probes]
            if all(all(abs(c - e) <= 8 for c, e in zip(colour, background)) for colour in colours):
                break
            check(time.monotonic() < deadline,
                  f'{name}: the window never showed its background {background}: {colours}')
            time.sleep(0.2)  # poll interval of the paint wait, bounded by the deadline above
        path = os.path.join(self.artifacts, name + '.png')
        shot.crop((left, top, right, bottom)).save(path)
        log(f'screenshot {path}')


def failure_report(folder, wine, env=None):
    """What a failed test leaves behind to read, copied into `folder`: the program's data folder
    (site.txt, Config.dat, GetLog), what the drivers said on standard error, and the screen at
    the failure. Returns the text for the test's report: those files, and the run log and the
    popups as the test last saw them."""
    os.makedirs(folder, exist_ok=True)
    lines = [f'kept in {folder}']
    data = wine.data_folder()
    if os.path.isdir(data):
        shutil.copytree(data, os.path.join(folder, 'data'), dirs_exist_ok=True)
    sites = read(os.path.join(data, 'site.txt'), 'rb')
    lines.append(f'site.txt: {"missing" if sites is None else sites.decode("gbk", errors="replace")!r}')
    lines.append(f'Config.dat: {config_summary(read(os.path.join(data, "Config.dat"), "rb"))}')
    traces = os.path.join(data, 'GetLog')
    names = sorted(os.listdir(traces)) if os.path.isdir(traces) else []
    lines.append(f'GetLog: {names or "no files"}')
    for name in names:
        text = read(os.path.join(traces, name), 'rb').decode('gbk', errors='replace')
        lines.append(f'GetLog/{name}:\n{text[-4000:]}')
    if env:
        lines += env.seen()
    errors = read(os.path.join(wine.folder, 'driver-stderr.txt'), 'rb')
    if errors:
        shutil.copy(os.path.join(wine.folder, 'driver-stderr.txt'), folder)
    lines.append('driver standard error: ' + (errors or b'nothing').decode(errors='replace')[-4000:])
    try:
        screen = os.path.join(folder, 'screen.png')
        ImageGrab.grab(xdisplay=wine.display.name).save(screen)
        lines.append(f'screen at the failure: {screen}')
    except Exception as error:  # the report goes on without it
        lines.append(f'no screenshot: {error}')
    text = '\n'.join(lines)
    with open(os.path.join(folder, 'report.txt'), 'w', encoding='utf-8') as f:
        f.write(text + '\n')
    return text
