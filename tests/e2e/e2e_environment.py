"""The program under test and the tools around it: SiteMonitor.exe started with wine, our
driver program in session mode, the Wine prefix's data folder and stored files, the screen
(screenshots, real mouse input through X)."""
import getpass
import json
import os
import re
import select
import shutil
import struct
import subprocess
import time
import traceback

from e2e_checks import Failure, check, log
from loopback_servers import LoopbackSites, NoticeService


class Driver:
    """Our driver program in session mode: one JSON array per command in, one JSON object out."""

    ANSWER_LIMIT_S = 90

    def __init__(self, exe):
        self.proc = subprocess.Popen(['wine', exe, 'session'], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.pending = b''

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
        return self._line(self.ANSWER_LIMIT_S)

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


class Program:
    """SiteMonitor.exe started with wine; the return code of `wine` is the program's exit code.
    With `hosts`, the program runs in a mount namespace of its own in which that file is
    /etc/hosts (WinINet resolves names through it), so a made-up host name can be mapped to
    127.0.0.1 without touching the system."""

    def __init__(self, exe, hosts=None, minimised=False, dll_overrides=None):
        # `start /wait /min` hands the program a minimised show command and returns its exit code.
        wine = ['wine', 'start', '/wait', '/min', '/unix'] if minimised else ['wine']
        command = wine + [exe]
        if hosts:
            command = ['unshare', '--mount', 'sh', '-c',
                       'mount --bind "$0" /etc/hosts && exec "$@"', hosts] + command
        environment = dict(os.environ)
        if dll_overrides:
            environment['WINEDLLOVERRIDES'] = ';'.join(
                part for part in (environment.get('WINEDLLOVERRIDES'), dll_overrides) if part)
        self.proc = subprocess.Popen(command, stdin=subprocess.DEVNULL, env=environment,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f'the program did not end within {timeout} s')

    def check_exit(self, expected, timeout=15):
        """Waits for the program to end and checks its exit code."""
        code = self.wait_exit(timeout)
        check(code == expected, f'exit code {code}, expected {expected}')

    def stop(self):
        if self.running():
            self.proc.kill()
            self.proc.wait()


def close_leftover_window(driver):
    """After a failed scenario: closes a main window that is still there, so that the next
    scenario finds only its own."""
    if driver.proc.poll() is None and driver.call('window').get('ok'):
        driver.call('close')
        driver.call('wait-gone', 10000)


class Environment:
    def __init__(self, args):
        self.build = os.path.abspath(args.build)
        self.program_exe = os.path.join(self.build, 'SiteMonitor.exe')
        self.driver_exe = os.path.abspath(args.driver)
        self.minutes = getattr(args, 'minutes', None)
        fake_sensapi = getattr(args, 'fake_sensapi', None)
        self.fake_sensapi = os.path.abspath(fake_sensapi) if fake_sensapi else None
        self.artifacts = os.path.join(self.build, 'e2e-artifacts')
        prefix = os.environ.get('WINEPREFIX')
        check(prefix and os.environ.get('DISPLAY'),
              'run inside script/lib/wine-env.sh (WINEPREFIX and DISPLAY must be set)')
        check(os.path.isfile(self.program_exe), f'{self.program_exe} has not been built')
        check(os.path.isfile(self.driver_exe), f'{self.driver_exe} has not been built')
        users = os.path.join(prefix, 'drive_c', 'users')
        user = getpass.getuser()
        if not os.path.isdir(os.path.join(users, user)):
            others = [u for u in os.listdir(users) if u != 'Public']
            check(len(others) == 1, f'cannot tell the Wine user folder among {others}')
            user = others[0]
        self.data = os.path.join(users, user, 'AppData', 'Roaming', 'DorvaneSiteMonitor')
        self.config_path = os.path.join(self.data, 'Config.dat')
        self.sites_path = os.path.join(self.data, 'site.txt')
        self.trace_path = os.path.join(self.data, 'GetLog')
        os.makedirs(self.artifacts, exist_ok=True)
        self.cleanups = []
        self.servers = []
        self.hosts = self.map_notice_host()

    def fresh_data_folder(self):
        shutil.rmtree(self.data, ignore_errors=True)
        check(not os.path.exists(self.data), 'the data folder could not be removed')

    def start(self, minimised=False, exe=None, dll_overrides=None):
        """Starts the program and a driver for it; waits for the main window (shown, unless the
        program is started minimised). The program always runs with the notice host mapped to
        127.0.0.1, so its notice requests never leave the machine (nothing listens there unless a
        scenario serves the notice service)."""
        program = Program(exe or self.program_exe, self.hosts, minimised, dll_overrides)
        self.cleanups.append(program.stop)
        driver = Driver(self.driver_exe)
        self.cleanups.append(driver.close)
        self.cleanups.append(lambda: close_leftover_window(driver))
        answer = driver.call('wait-window', 20000, 'any' if minimised else 'shown')
        check(answer.get('ok'), f'the main window did not appear: {answer}')
        if not minimised:
            check(answer['visible'] and not answer['iconic'], f'main window not shown: {answer}')
        return program, driver

    def build_setting(self, name):
        """A value of the program's build settings (CMake cache of the build)."""
        with open(os.path.join(self.build, 'CMakeCache.txt'), encoding='utf-8') as cache:
            for line in cache:
                if line.startswith(name + ':'):
                    return line.rstrip('\n').split('=', 1)[1]
        raise Failure(f'{name} is not in the build settings')

    def map_notice_host(self):
        """A hosts file mapping the built-in notice host to 127.0.0.1 (None for an address)."""
        self.notice_host = self.build_setting('SITEMON_NOTICE_HOST')
        if re.fullmatch(r'[\d.]+', self.notice_host):
            return None
        hosts = os.path.join(self.build, 'e2e-notice-hosts')
        with open(hosts, 'w', encoding='ascii') as f:
            f.write(f'127.0.0.1 localhost\n127.0.0.1 {self.notice_host}\n')
        trial = subprocess.run(['unshare', '--mount', 'sh', '-c', 'mount --bind "$0" /etc/hosts',
                                hosts], capture_output=True, timeout=30)
        check(trial.returncode == 0, 'cannot map the notice host in a mount namespace of its own '
                                     f'(needs root): {trial.stderr.decode(errors="replace")}')
        return hosts

    def notice_service(self):
        """Serves the notice service on loopback at the built-in port."""
        service = NoticeService(self.build_setting('SITEMON_NOTICE_PORT'))
        self.cleanups.append(service.close)
        return service

    def serve(self):
        sites = LoopbackSites()
        self.cleanups.append(sites.close)
        self.servers.append(sites)
        return sites

    def describe_requests(self):
        """What the test servers saw, for the report of a failed scenario."""
        for sites in self.servers:
            with sites.changed:
                seen = ', '.join(f'{path} at {t - sites.began:.1f} s' for path, t in sites.requests)
            log(f'requests seen by 127.0.0.1:{sites.port}: {seen or "none"}')

    def cleanup(self):
        while self.cleanups:
            try:
                self.cleanups.pop()()
            except Exception:  # cleanup goes on; the scenario's own result stands
                traceback.print_exc()

    # Stored files.
    def config(self):
        check(os.path.isfile(self.config_path), 'Config.dat is missing')
        data = open(self.config_path, 'rb').read()
        check(len(data) == 240, f'Config.dat has {len(data)} bytes, not 240')
        return struct.unpack('<5i', data[:20]), data[20:]

    def check_config(self, expected):
        fields, opaque = self.config()
        check(fields == expected, f'Config.dat holds {fields}, expected {expected}')
        check(opaque == bytes(220), 'the 220-byte block of Config.dat is not all zero')

    def check_trace_folder_empty(self):
        check(os.path.isdir(self.trace_path), 'the GetLog folder is missing')
        check(os.listdir(self.trace_path) == [],
              f'GetLog is not empty: {os.listdir(self.trace_path)}')

    # Screen.
    def screenshot(self, name, rect, background):
        """Saves the screen, cut to `rect`, as <name>.png once the window there is painted: its
        `background` colour shows near its left and right edges (waits up to a deadline)."""
        left, top, right, bottom = rect
        middle = (top + bottom) // 2
        probes = [(left + 5, middle), (right - 5, middle)]
        deadline = time.monotonic() + 10
        while True:
            shot = subprocess.run(['import', '-window', 'root', '-depth', '8', 'ppm:-'],
                                  capture_output=True, timeout=30, check=True).stdout
            width, pixels = parse_ppm(shot)
            colours = [pixel_at(pixels, width, x, y) for x, y in probes]
            if all(all(abs(c - e) <= 8 for c, e in zip(colour, background)) for colour in colours):
                break
            check(time.monotonic() < deadline,
                  f'{name}: the window never showed its background {background}: {colours}')
            time.sleep(0.2)  # poll interval of the paint wait, bounded by the deadline above
        path = os.path.join(self.artifacts, name + '.png')
        subprocess.run(['convert', 'ppm:-', '-crop', f'{right - left}x{bottom - top}+{left}+{top}',
                        '+repage', path], input=shot, timeout=30, check=True)
        log(f'screenshot {path}')


def parse_ppm(data):
    """Width and RGB bytes of a binary PPM (P6, maxval 255)."""
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b'#':
            pos = data.index(b'\n', pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    check(fields[0] == b'P6' and fields[3] == b'255', 'unexpected screenshot format')
    return int(fields[1]), data[pos + 1:]


def pixel_at(pixels, width, x, y):
    start = (y * width + x) * 3
    return tuple(pixels[start:start + 3])


def mouse_click(driver, control):
    """A real left click (through X) in the middle of a control of the main window."""
    state = driver.must('is-enabled', control)
    left, top, right, bottom = state['rect']
    subprocess.run(['xdotool', 'mousemove', str((left + right) // 2), str((top + bottom) // 2),
                    'click', '1'], check=True, timeout=10)


def mouse_drag(start, delta):
    """Presses the left button at `start`, moves by `delta` in two steps and releases (X)."""
    x, y = start
    dx, dy = delta
    subprocess.run(['xdotool', 'mousemove', str(x), str(y), 'mousedown', '1',
                    'mousemove', str(x + dx // 2), str(y + dy // 2),
                    'mousemove', str(x + dx), str(y + dy), 'mouseup', '1'], check=True, timeout=10)
