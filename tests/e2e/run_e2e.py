#!/usr/bin/env python3
"""End-to-end tests of SiteMonitor.exe under Wine on a virtual display.

Runs inside the environment that script/lib/wine-env.sh prepares (WINEPREFIX in the zh_CN
locale, DISPLAY from Xvfb). Each scenario starts the real program with `wine`, works it from
outside through our driver program (tests/e2e/driver), serves its sites from loopback HTTP servers
that the scenario starts and stops itself, and checks the run log, the stored files, the exit code
and the screen.

    run_e2e.py --build <windows build dir> --driver <sitemon_e2e_driver.exe> --scenario <name|all>
"""
import argparse
import datetime
import getpass
import http.server
import json
import os
import re
import select
import shutil
import socket
import struct
import subprocess
import sys
import threading
import time
import traceback

# --- texts of the program -------------------------------------------------------------------

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


# --- loopback web sites ---------------------------------------------------------------------

class LoopbackSites:
    """One HTTP server on 127.0.0.1 (free port, own thread, a thread per request) with fixed
    answers by the first part of the path: /ok 200, /missing 404, /error 500, /moved 302
    without Location, and /hang,
    which reads the request and never answers; when released (or at its own time limit) it
    resets the connection."""

    STATUS = {'ok': (200, 'OK'), 'missing': (404, 'Not Found'),
              'error': (500, 'Internal Server Error'), 'moved': (302, 'Found')}
    HANG_LIMIT_S = 180

    def __init__(self):
        self.requests = []          # (route, monotonic time)
        self.began = time.monotonic()
        self.open_hangs = 0
        self.changed = threading.Condition()
        self.release = threading.Event()
        sites = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                route = '/' + self.path.split('/')[1]  # paths are routed by their first part
                with sites.changed:
                    sites.requests.append((route, time.monotonic()))
                    sites.changed.notify_all()
                if route == '/hang':
                    with sites.changed:
                        sites.open_hangs += 1
                        sites.changed.notify_all()
                    sites.release.wait(LoopbackSites.HANG_LIMIT_S)
                    with sites.changed:
                        sites.open_hangs -= 1
                        sites.changed.notify_all()
                    # Reset the connection: the probe then fails to open. (A clean close with no
                    # byte of answer reads under Wine as an answer whose status is 0.)
                    self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                               struct.pack('ii', 1, 0))
                    self.connection.close()
                    self.close_connection = True
                    return
                code, reason = LoopbackSites.STATUS.get(route[1:], (404, 'Not Found'))
                body = f'{code} {reason}\n'.encode()
                self.send_response(code, reason)
                self.send_header('Content-Type', 'text/plain')
                self.send_header('Content-Length', str(len(body)))
                self.send_header('Connection', 'close')
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        self.server.daemon_threads = True
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, name='sites', daemon=True)
        self.thread.start()

    def url(self, path):
        return f'http://127.0.0.1:{self.port}{path}'

    def times(self, path):
        with self.changed:
            return [t for p, t in self.requests if p == path]

    def wait(self, predicate, timeout, what):
        deadline = time.monotonic() + timeout
        with self.changed:
            while not predicate():
                left = deadline - time.monotonic()
                check(left > 0, f'timed out after {timeout} s waiting for {what}')
                self.changed.wait(left)

    def wait_requests(self, path, count, timeout):
        self.wait(lambda: sum(1 for p, _ in self.requests if p == path) >= count, timeout,
                  f'{count} request(s) for {path}')

    def wait_open_hangs(self, count, timeout):
        self.wait(lambda: self.open_hangs == count, timeout, f'{count} held /hang request(s)')

    def close(self):
        self.release.set()
        self.server.shutdown()
        self.server.server_close()
        self.thread.join(10)


# --- the program and the driver -------------------------------------------------------------

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


class NoticeService:
    """The maker's notice service on 127.0.0.1 at the port the program was built with: records
    each request (method, target, version, headers, body) and answers it with the reply bytes
    set for it."""

    def __init__(self, port):
        self.requests = []
        self.reply = b'{}'
        self.changed = threading.Condition()
        service = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                length = int(self.headers.get('Content-Length', '0'))
                body = self.rfile.read(length)
                with service.changed:
                    service.requests.append({'method': self.command, 'target': self.path,
                                             'version': self.request_version,
                                             'headers': dict(self.headers.items()), 'body': body})
                    reply = service.reply
                    service.changed.notify_all()
                self.send_response(200, 'OK')
                self.send_header('Content-Type', 'application/json')
                self.send_header('Content-Length', str(len(reply)))
                self.end_headers()
                self.wfile.write(reply)

            def log_message(self, *args):
                pass

        try:
            self.server = http.server.ThreadingHTTPServer(('127.0.0.1', int(port)), Handler)
        except OSError as error:
            raise Failure(f'cannot serve the notice service on 127.0.0.1:{port}: {error}')
        self.server.daemon_threads = True
        self.thread = threading.Thread(target=self.server.serve_forever, name='notice', daemon=True)
        self.thread.start()

    def wait_requests(self, count, timeout):
        deadline = time.monotonic() + timeout
        with self.changed:
            while len(self.requests) < count:
                left = deadline - time.monotonic()
                check(left > 0, f'no notice request within {timeout} s')
                self.changed.wait(left)
            return self.requests[count - 1]

    def close(self):
        self.server.shutdown()
        self.server.server_close()
        self.thread.join(10)


class Program:
    """SiteMonitor.exe started with wine; the return code of `wine` is the program's exit code.
    With `hosts`, the program runs in a mount namespace of its own in which that file is
    /etc/hosts (WinINet resolves names through it), so a made-up host name can be mapped to
    127.0.0.1 without touching the system."""

    def __init__(self, exe, hosts=None):
        command = ['wine', exe]
        if hosts:
            command = ['unshare', '--mount', 'sh', '-c',
                       'mount --bind "$0" /etc/hosts && exec wine "$1"', hosts, exe]
        self.proc = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f'the program did not end within {timeout} s')

    def stop(self):
        if self.running():
            self.proc.kill()
            self.proc.wait()


class Environment:
    def __init__(self, args):
        self.build = os.path.abspath(args.build)
        self.program_exe = os.path.join(self.build, 'SiteMonitor.exe')
        self.driver_exe = os.path.abspath(args.driver)
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

    def start(self):
        """Starts the program and a driver for it; waits for the main window. The program always
        runs with the notice host mapped to 127.0.0.1, so its notice requests never leave the
        machine (nothing listens there unless a scenario serves the notice service)."""
        program = Program(self.program_exe, self.hosts)
        self.cleanups.append(program.stop)
        driver = Driver(self.driver_exe)
        self.cleanups.append(driver.close)
        answer = driver.call('wait-window', 20000)
        check(answer.get('ok'), f'the main window did not appear: {answer}')
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
        check(os.listdir(self.trace_path) == [], f'GetLog is not empty: {os.listdir(self.trace_path)}')

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
            colours = [tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x, y in probes]
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


# --- scenarios ------------------------------------------------------------------------------

def check_fresh_window(driver):
    """The state of a window started with no stored files."""
    for control, items, index in ((CHECK_LIST, CHECK_INTERVALS, 1),
                                  (RETRY_COUNT_LIST, RETRY_COUNTS, 2),
                                  (RETRY_INTERVAL_LIST, RETRY_INTERVALS, 1)):
        combo = driver.combo(control)
        check(combo['items'] == items, f'list {control} holds {combo["items"]}, expected {items}')
        check(combo['index'] == index, f'list {control} selects {combo["text"]!r}, expected {items[index]!r}')
    address = driver.text(EDIT)
    check(address.startswith('http://') and len(address) > len('http://'),
          f'the default site is not an http:// address: {address!r}')
    check('\r' not in address and '\n' not in address, f'the default site is not one line: {address!r}')
    rows = driver.rows()
    check(len(rows) == 1, f'expected exactly one log row at first start, got {rows}')
    check_row(rows[0], '软件启动')
    check_stamp_is_now(rows[0])
    check(driver.enabled(START) and not driver.enabled(STOP), 'expected Start enabled, Stop disabled')
    check(driver.text(TITLE) == TITLE_LINE, f'title line reads {driver.text(TITLE)!r}')
    window = driver.must('window')
    left, top, right, bottom = window['rect']
    wl, wt, wr, wb = window['work']
    check((left, top) == ((wl + wr) // 2 - (right - left) // 2, (wt + wb) // 2 - (bottom - top) // 2),
          f'window at {window["rect"]} is not centred on the work area {window["work"]}')


def scenario_first_start(env):
    """No data folder: the folders are created, the defaults are shown, one start-up row is
    logged, and a close request ends the program with 2 and a default Config.dat."""
    env.fresh_data_folder()
    program, driver = env.start()
    check(os.path.isdir(env.data), 'the data folder DorvaneSiteMonitor was not created')
    env.check_trace_folder_empty()
    check_fresh_window(driver)
    env.screenshot('first-start', driver.must('window')['rect'], MAIN_BLUE)
    driver.must('close')
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')
    env.check_config((60, 3, 30, 0, 2))
    check(not os.path.exists(env.sites_path), 'site.txt was written although nothing was started')
    env.check_trace_folder_empty()


def refused_port():
    """A loopback port with nobody listening: bound once to find a free one, then closed."""
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


def scenario_run_and_stop(env):
    """Sites of every kind in one run (a 200 under a Chinese path, a 404, a 500, a refused port
    and one that never answers), retry count 1 and the shortest intervals: the start rows,
    site.txt in code page 936, the reports and their timing, and a Stop that has to wait for the
    hanging site."""
    sites = env.serve()
    ok, missing = sites.url('/ok/首页'), sites.url('/missing')
    error, hang = sites.url('/error'), sites.url('/hang')
    refused = f'http://127.0.0.1:{refused_port()}/'
    env.fresh_data_folder()
    program, driver = env.start()
    # Blanks (also ideographic ones) and an empty line around the addresses go at Start.
    driver.must('set-text', EDIT,
                f'  {ok}  \r\n\r\n\u3000{missing}\r\n{error}\r\n{refused}\r\n{hang}\r\n')
    for control, index, text in ((CHECK_LIST, 0, '30秒'), (RETRY_COUNT_LIST, 0, '1次'),
                                 (RETRY_INTERVAL_LIST, 0, '10秒')):
        driver.must('combo-set', control, index)
        check(driver.combo(control)['text'] == text, f'list {control} did not take {text!r}')

    started = time.monotonic()
    driver.must('click', START)
    rows = driver.wait_rows('监控开始运行', 1, 10)
    expected = ['监控开始运行'] + [f'线程[{n}]启动' for n in (5, 4, 3, 2, 1)] + ['软件启动']
    check(len(rows) == len(expected), f'expected {len(expected)} rows after Start, got {rows}')
    for row, text in zip(rows, expected):
        check_row(row, text)
    check(0 <= (stamp_of(rows[0]) - stamp_of(rows[5])).total_seconds() <= 2,
          f'start rows not written together: {rows[:6]}')
    check(not driver.enabled(START) and driver.enabled(STOP), 'expected Start disabled, Stop enabled')
    joined = f'{ok}\r\n{missing}\r\n{error}\r\n{refused}\r\n{hang}'
    check(driver.text(EDIT) == joined, f'the editor holds {driver.text(EDIT)!r}, expected {joined!r}')
    stored = open(env.sites_path, 'rb').read()
    check(stored == joined.encode('gbk'), f'site.txt holds {stored!r}, not the list in code page 936')

    # Check interval 30 s: the first probe of each site comes about 29 s after Start.
    sites.wait_requests('/ok', 1, 40)
    first_ok = sites.times('/ok')[0] - started
    check(26 <= first_ok <= 33, f'first probe {first_ok:.1f} s after Start, expected about 29 s')
    rows = driver.wait_rows(f'{ok} 访问正常', 1, 10)
    check(count_rows(rows, f'{ok} 访问正常') == 1, f'expected one success row: {rows}')

    # Retry count 1, retry interval 10 s: a 4xx or 5xx is reported on the second failed probe.
    for url, path, text in ((missing, '/missing', '网页不存在'),
                            (error, '/error', '网站服务器，内部发生错误500')):
        rows = driver.wait_rows(f'{url} {text}', 1, 25)
        failures = sites.times(path)
        check(len(failures) == 2, f'{path} was reported after {len(failures)} probe(s), expected 2')
        gap = failures[1] - failures[0]
        check(8.5 <= gap <= 12, f'{path}: retry came {gap:.1f} s after the failure, expected ~10 s')
        check(count_rows(rows, f'{url} {text}') == 1, f'expected one row for {path}: {rows}')
    # A refused connection has no answer at all: status 22 on the second attempt.
    rows = driver.wait_rows(f'{refused} 不能访问网站，可能本机不能上网，或网站故障', 1, 15)
    check(count_rows(rows, f'{refused} 不能访问网站，可能本机不能上网，或网站故障') == 1,
          f'expected one row for the refused site: {rows}')
    check(sites.open_hangs == 1, 'the site that never answers is not being probed')
    env.screenshot('main-window', driver.must('window')['rect'], MAIN_BLUE)

    # Stop: the hanging probe keeps the fifth worker alive, so the stopping state can be seen.
    driver.must('click', STOP)
    for n in (1, 2, 3, 4):
        rows = driver.wait_rows(f'[{n}]线程退出', 1, 10)
    check(count_rows(rows, '停止中...') == 1, f'expected one stopping row: {rows}')
    check(count_rows(rows, '监控停止!') == 0 and count_rows(rows, '[5]线程退出') == 0,
          f'stop finished although site 5 is still held: {rows}')
    check(not driver.enabled(START) and not driver.enabled(STOP),
          'expected Start and Stop disabled while stopping')
    sites.release.set()
    rows = driver.wait_rows('监控停止!', 1, 20)
    check_row(rows[0], '监控停止!')
    check(all(count_rows(rows[1:6], f'[{n}]线程退出') == 1 for n in (1, 2, 3, 4, 5)),
          f'expected the five worker-end rows below the stopped row: {rows[:7]}')
    check_row(rows[6], '停止中...')
    check(driver.enabled(START) and not driver.enabled(STOP), 'expected Start enabled, Stop disabled')
    # Every 200 was reported, and nothing else was logged.
    successes = count_rows(rows, f'{ok} 访问正常')
    check(successes == len(sites.times('/ok')),
          f'{len(sites.times("/ok"))} probes of the 200 site but rows {rows}')
    check(len(rows) == successes + 17, f'unexpected rows in the log: {rows}')

    driver.must('close')
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')
    env.check_config((30, 1, 10, 0, 2))


def scenario_leave_and_restart(env):
    """Leaving during a run saves the run's settings before it waits for the workers, writes no
    stop rows, and ends with 2 once the workers have ended; the next start shows the stored
    settings and sites; Escape ends the program with 2."""
    sites = env.serve()
    hang, ok = sites.url('/hang'), sites.url('/ok/页面')
    env.fresh_data_folder()
    program, driver = env.start()
    driver.must('set-text', EDIT, f'{hang}\r\n{ok}')
    for control, index in ((CHECK_LIST, 0), (RETRY_COUNT_LIST, 1), (RETRY_INTERVAL_LIST, 2)):
        driver.must('combo-set', control, index)
    driver.must('click', START)
    driver.wait_rows('监控开始运行', 1, 10)
    sites.wait_open_hangs(1, 45)

    driver.must('close')
    # The settings are saved before the wait for the workers: Config.dat appears while site 1's
    # worker is still held in its probe and the program is still running.
    wait_for('Config.dat to be saved while leaving', 10,
             lambda: os.path.exists(env.config_path) and os.path.getsize(env.config_path) >= 240)
    env.check_config((30, 2, 60, 0, 2))
    check(program.running(), 'the program ended before its held worker did')
    rows = driver.wait_rows('[2]线程退出', 1, 10)
    check(count_rows(rows, '停止中...') == 0 and count_rows(rows, '监控停止!') == 0,
          f'leaving wrote stop rows: {rows}')
    check(count_rows(rows, '[1]线程退出') == 0, f'site 1 ended while held: {rows}')
    sites.release.set()
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')
    driver.close()

    program, driver = env.start()
    for control, text in ((CHECK_LIST, '30秒'), (RETRY_COUNT_LIST, '2次'),
                          (RETRY_INTERVAL_LIST, '1分钟')):
        check(driver.combo(control)['text'] == text, f'list {control} does not show {text!r}')
    check(driver.text(EDIT) == f'{hang}\r\n{ok}', f'the editor holds {driver.text(EDIT)!r}')
    rows = driver.rows()
    check(len(rows) == 1, f'expected only the start-up row, got {rows}')
    check_row(rows[0], '软件启动')
    driver.must('escape')
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')
    env.check_config((30, 2, 60, 0, 2))


def wait_for(what, timeout, probe, poll=0.1):
    """Polls `probe` (returning a truthy result when the condition holds) until a deadline."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        check(time.monotonic() < deadline, f'timed out after {timeout} s waiting for {what}')
        time.sleep(poll)  # poll interval, bounded by the deadline above


def tray_tips(driver):
    answer = driver.must('tray-tip')
    check(answer['icons'] == 1, f'expected one tray icon, found {answer["icons"]}')
    return answer['tips']


def scenario_popup_and_tray(env):
    """The start popup slides into the bottom-right corner and goes after about 3 s; "－" hides
    the window into the tray and a click on the icon brings it back; a 302 without Location is
    logged and popped up on its probe and becomes the tooltip; the tray menu's exit ends the
    program with 0."""
    sites = env.serve()
    moved = sites.url('/moved')
    env.fresh_data_folder()
    program, driver = env.start()
    check(tray_tips(driver) == ['Corvell网站监控'], f'initial tooltip {tray_tips(driver)}')
    popup = driver.must('popup')
    check(popup['found'] and not popup['visible'], f'the popup should exist hidden: {popup}')

    driver.must('set-text', EDIT, moved)
    driver.must('combo-set', CHECK_LIST, 0)
    driver.must('click', START)
    shown = driver.must('wait-popup', 1, 5000)
    seen = time.monotonic()
    check(shown['text'] == '监控开始运行...' and shown['title'] == 'Dorvane提示',
          f'start popup reads {shown["title"]!r} / {shown["text"]!r}')
    left, top, right, bottom = shown['rect']
    check(right == shown['work'][2] and bottom == shown['work'][3],
          f'popup at {shown["rect"]}, not in the corner of the work area {shown["work"]}')
    check(shown['topmost'] and shown['toolwindow'], f'popup not topmost tool window: {shown}')
    hidden = driver.call('wait-popup', 0, 6000)
    gone_after = time.monotonic() - seen
    check(hidden.get('ok'), f'the start popup did not go: {hidden}')
    check(1.0 <= gone_after <= 4.5, f'the start popup went after {gone_after:.1f} s, expected ~3 s')

    before = driver.must('window')['rect']
    driver.must('click', MINIMISE)
    wait_for('the window to hide', 5, lambda: not driver.must('window')['visible'])
    driver.must('tray-click')
    state = wait_for('the window to come back restored', 5,
                     lambda: (lambda w: w if w['visible'] and not w['iconic'] else None)(
                         driver.must('window')))
    check(state['rect'] == before, f'restored window {state}, expected its former place {before}')

    # A 302 without Location is not followed: logged and popped up on every probe.
    rows = driver.wait_rows(f'{moved} 当前网页300跳转', 1, 40)
    check_row(rows[0], f'{moved} 当前网页300跳转')
    shown = driver.must('wait-popup', 1, 3000)
    check(shown['text'] == rows[0], f'popup reads {shown["text"]!r}, expected the row {rows[0]!r}')
    env.screenshot('popup', shown['rect'], POPUP_WHITE)
    check(tray_tips(driver) == ['Dorvane网站监控\n状态：当前网页300跳转'],
          f'tooltip after the report: {tray_tips(driver)}')

    driver.must('command', 32776)
    check(program.wait_exit(15) == 0, f'exit code {program.proc.returncode}, expected 0')
    env.check_config((30, 3, 30, 0, 2))


def mouse_click(driver, control):
    """A real left click (through X) in the middle of a control of the main window."""
    state = driver.must('is-enabled', control)
    left, top, right, bottom = state['rect']
    subprocess.run(['xdotool', 'mousemove', str((left + right) // 2), str((top + bottom) // 2),
                    'click', '1'], check=True, timeout=10)


def check_lists(driver, texts):
    for control, text in zip((CHECK_LIST, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST), texts):
        shown = driver.combo(control)['text']
        check(shown == text, f'list {control} shows {shown!r}, expected {text!r}')


def scenario_stored_state(env):
    """Stored files written by hand: out-of-range settings are repaired and the repair is what
    is saved, the 220-byte block and the notice id come back byte for byte, softtype becomes 2;
    site.txt is read in code page 936 up to a NUL byte; a short Config.dat fills only its
    leading fields; an empty site.txt gives an empty editor; an overlong one does not overrun."""
    env.fresh_data_folder()
    os.makedirs(env.data)
    opaque = bytes((i * 7 + 1) % 256 for i in range(220))
    with open(env.config_path, 'wb') as f:
        f.write(struct.pack('<5i', 300, 2, 45, 5, 9) + opaque)
    listed = 'http://127.0.0.1:9/一\r\nhttp://127.0.0.1:9/二'
    stored = listed.encode('gbk') + b'\x00http://127.0.0.1:9/after-nul'
    with open(env.sites_path, 'wb') as f:
        f.write(stored)
    program, driver = env.start()
    check_lists(driver, ['5分钟', '2次', '30秒'])
    check(driver.text(EDIT) == listed, f'the editor holds {driver.text(EDIT)!r}, expected {listed!r}')
    driver.must('close')
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')
    fields, block = env.config()
    check(fields == (300, 2, 30, 5, 2), f'Config.dat holds {fields}, expected (300, 2, 30, 5, 2)')
    check(block == opaque, 'the 220-byte block of Config.dat was not written back unchanged')
    check(open(env.sites_path, 'rb').read() == stored, 'site.txt was rewritten at exit')
    driver.close()

    with open(env.config_path, 'wb') as f:
        f.write(struct.pack('<2i', 300, 2))
    open(env.sites_path, 'wb').close()
    program, driver = env.start()
    check_lists(driver, ['5分钟', '2次', '30秒'])
    check(driver.text(EDIT) == '', f'an empty site.txt gave the editor {driver.text(EDIT)!r}')
    driver.must('close')
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')
    env.check_config((300, 2, 30, 0, 2))
    driver.close()

    long_text = ''.join(f'http://127.0.0.1:9/{n:04d}\r\n' for n in range(80))  # 2,000 bytes
    with open(env.sites_path, 'wb') as f:
        f.write(long_text.encode('ascii'))
    program, driver = env.start()
    shown = driver.text(EDIT)
    check(len(shown) >= 511 and long_text.startswith(shown),
          f'an overlong site.txt gave {len(shown)} characters that are not its beginning')
    driver.must('close')
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')


def mouse_drag(start, delta):
    """Presses the left button at `start`, moves by `delta` in two steps and releases (X)."""
    x, y = start
    dx, dy = delta
    subprocess.run(['xdotool', 'mousemove', str(x), str(y), 'mousedown', '1',
                    'mousemove', str(x + dx // 2), str(y + dy // 2),
                    'mousemove', str(x + dx), str(y + dy), 'mouseup', '1'], check=True, timeout=10)


def centre_of(driver, control):
    left, top, right, bottom = driver.must('is-enabled', control)['rect']
    return (left + right) // 2, (top + bottom) // 2


def window_at(driver, rect):
    return driver.must('window')['rect'] == rect


def scenario_drag(env):
    """A press on the blue background or on the title line drags the caption-less window by
    the mouse's way; a press on the run log does not."""
    env.fresh_data_folder()
    program, driver = env.start()
    left, top, right, bottom = driver.must('window')['rect']
    moved = [left + 70, top + 50, right + 70, bottom + 50]
    mouse_drag((left + 8, (top + bottom) // 2), (70, 50))
    wait_for(f'the window to be dragged to {moved}', 5, lambda: window_at(driver, moved))
    # Mouse input is handled in order: the window ends where the title-line drag alone puts it
    # only if the press on the run log moved nothing.
    mouse_drag(centre_of(driver, RUN_LOG), (40, 30))
    mouse_drag(centre_of(driver, TITLE), (-70, -50))
    wait_for('the window to be dragged back', 5,
             lambda: window_at(driver, [left, top, right, bottom]))
    driver.must('close')
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')


def scenario_blank_run_and_buttons(env):
    """Real mouse clicks on the drawn buttons: Start with an empty editor does nothing; a list of
    blank lines runs with no site (start row, empty editor, empty site.txt) and stops with its two
    rows; the next start shows an empty editor, not the default address; "×" ends with 2."""
    env.fresh_data_folder()
    program, driver = env.start()
    driver.must('set-text', EDIT, '')
    mouse_click(driver, START)
    # Clicks are handled in order: once the clear-log click has emptied the log, the Start
    # click before it has been handled too.
    mouse_click(driver, CLEAR_LOG)
    wait_for('the clear-log button to empty the log', 5, lambda: driver.rows() == [])
    check(driver.enabled(START) and not driver.enabled(STOP), 'Start with no text changed the buttons')
    check(not os.path.exists(env.sites_path), 'Start with no text stored a site list')
    check(not driver.must('popup')['visible'], 'Start with no text showed the popup')

    driver.must('set-text', EDIT, '  \r\n\u3000\u3000\r\n \u3000 ')
    mouse_click(driver, START)
    rows = driver.wait_rows('监控开始运行', 1, 10)
    check(len(rows) == 1, f'a run without sites should log only its start row: {rows}')
    check_row(rows[0], '监控开始运行')
    check(not driver.enabled(START) and driver.enabled(STOP), 'expected Start disabled, Stop enabled')
    check(driver.text(EDIT) == '', f'the editor holds {driver.text(EDIT)!r}, expected nothing')
    check(open(env.sites_path, 'rb').read() == b'', 'site.txt is not empty')
    shown = driver.must('wait-popup', 1, 5000)
    check(shown['text'] == '监控开始运行...', f'start popup reads {shown["text"]!r}')

    mouse_click(driver, STOP)
    rows = driver.wait_rows('监控停止!', 1, 10)
    check(len(rows) == 3, f'expected start, stopping and stopped rows: {rows}')
    for row, text in zip(rows, ['监控停止!', '停止中...', '监控开始运行']):
        check_row(row, text)
    wait_for('Start to be enabled again', 5, lambda: driver.enabled(START))
    check(not driver.enabled(STOP), 'Stop still enabled after the stop')

    mouse_click(driver, CLOSE_BUTTON)
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')
    env.check_config((60, 3, 30, 0, 2))
    driver.close()

    program, driver = env.start()
    check(driver.text(EDIT) == '', f'an empty site.txt gave the editor {driver.text(EDIT)!r}')
    driver.must('close')
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')


def check_notice_request(request, host):
    check(request['method'] == 'POST' and request['version'] == 'HTTP/1.0',
          f'notice request is {request["method"]} {request["version"]}')
    check(request['target'] == '/index.php?g=Api&m=Client&a=getInfo',
          f'notice request goes to {request["target"]!r}')
    check(request['body'] == b'softtype=2&ver=1.1.0.0', f'notice request body {request["body"]!r}')
    headers = {k.lower(): v for k, v in request['headers'].items()}
    check(headers.get('content-type') == 'application/x-www-form-urlencoded',
          f'notice request content type {headers.get("content-type")!r}')
    check(headers.get('user-agent') == 'Dorvane', f'notice user agent {headers.get("user-agent")!r}')
    check(headers.get('host', '').split(':')[0] == host, f'notice request host {headers.get("host")!r}')


def scenario_notice_and_update(env):
    """The notice service, reached at the built-in host name (mapped to loopback), is asked about
    9 s after start with the fixed form; a new notice is shown and its id stored at exit; on the
    next start the same notice is not counted again and an update flag shows the update message."""
    service, host = env.notice_service(), env.notice_host
    notice = '服务公告：本周六凌晨两点到四点维护，请提前安排监控。'
    reply = '{"update":%d,"notice_id":7,"notice_text":"%s"}'
    env.fresh_data_folder()

    service.reply = (reply % (0, notice)).encode('gbk')
    started = time.monotonic()
    program, driver = env.start()
    check_notice_request(service.wait_requests(1, 30), host)
    asked_after = time.monotonic() - started
    check(7 <= asked_after <= 14, f'first notice request {asked_after:.1f} s after start, expected ~9 s')
    shown = driver.must('wait-popup', 1, 5000)
    check(shown['text'] == notice and shown['title'] == 'Dorvane提示',
          f'notice popup reads {shown["title"]!r} / {shown["text"]!r}')
    driver.must('close')
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')
    env.check_config((60, 3, 30, 7, 2))
    driver.close()

    service.reply = (reply % (1, notice)).encode('gbk')
    program, driver = env.start()
    check_notice_request(service.wait_requests(2, 30), host)
    shown = driver.must('wait-popup', 1, 5000)
    check(shown['text'] == '发现新版本，请及时更新' and shown['title'] == 'Corvell网站监控',
          f'update popup reads {shown["title"]!r} / {shown["text"]!r}')
    driver.must('close')
    check(program.wait_exit(15) == EXIT_BY_CLOSE, f'exit code {program.proc.returncode}, expected 2')
    env.check_config((60, 3, 30, 7, 2))


SCENARIOS = {
    'drag': scenario_drag,
    'stored_state': scenario_stored_state,
    'blank_run_and_buttons': scenario_blank_run_and_buttons,
    'first_start': scenario_first_start,
    'run_and_stop': scenario_run_and_stop,
    'leave_and_restart': scenario_leave_and_restart,
    'popup_and_tray': scenario_popup_and_tray,
    'notice_and_update': scenario_notice_and_update,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--build', required=True)
    parser.add_argument('--driver', required=True)
    parser.add_argument('--scenario', default='all', choices=['all', *SCENARIOS])
    args = parser.parse_args()
    names = list(SCENARIOS) if args.scenario == 'all' else [args.scenario]
    failed = []
    for name in names:
        began = time.monotonic()
        env = None
        try:
            env = Environment(args)
            log(f'{name}: start')
            SCENARIOS[name](env)
            log(f'{name}: passed in {time.monotonic() - began:.1f} s')
        except Failure as failure:
            log(f'{name}: FAILED after {time.monotonic() - began:.1f} s: {failure}')
            if env:
                env.describe_requests()
            failed.append(name)
        except Exception:
            traceback.print_exc()
            log(f'{name}: ERROR after {time.monotonic() - began:.1f} s')
            failed.append(name)
        finally:
            if env:
                env.cleanup()
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
