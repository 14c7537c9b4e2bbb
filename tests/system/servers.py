"""The loopback web server of the tests: the monitored sites, the maker's notice service and the
bench's pages. Plain sockets on 127.0.0.1, a thread per connection; what a site answers is set
per site (the first part of the path) and can be changed while the program runs, so a test can
switch a site from 200 to 404 and back, delay an answer to place its report in time, or answer
in ways no proper server does. Every request is recorded with its time, head and body."""
import socket
import struct
import threading
import time

from .checks import Failure, check, log


class Answer:
    """What a site does with one request, after waiting `delay` seconds: 'status' sends `head`
    (a whole answer, then closes); 'empty' closes without a byte; 'reset' resets the connection;
    'silent' reads the request and never answers; 'drip' sends `head` one byte a second and never
    ends; 'held' reads the request and keeps it, whatever the client does, until the server's
    `release` is set, then resets the connection (a clean close with no byte of answer would read
    under Wine as an answer whose status is 0)."""

    def __init__(self, kind, head=b'', delay=0.0):
        self.kind, self.head, self.delay = kind, head, delay

    @staticmethod
    def status(code, reason='Status', delay=0.0, headers=(), body=b''):
        head = f'HTTP/1.1 {code} {reason}\r\n'.encode()
        for header in (*headers, f'Content-Length: {len(body)}', 'Connection: close'):
            head += header.encode() + b'\r\n'
        return Answer('status', head + b'\r\n' + body, delay)

    @staticmethod
    def raw(data, delay=0.0):
        return Answer('status', data, delay)


def page(code, reason):
    return Answer.status(code, reason, headers=['Content-Type: text/plain'],
                         body=f'{code} {reason}\n'.encode())


# Sites every server answers until told otherwise.
STANDARD = {'ok': page(200, 'OK'), 'missing': page(404, 'Not Found'),
            'error': page(500, 'Internal Server Error'), 'moved': Answer.status(302, 'Found'),
            'hang': Answer('held')}
UNKNOWN = page(404, 'Not Found')


class Request:
    def __init__(self, name, method, target, version, headers, body):
        self.time = time.monotonic()
        self.name, self.method, self.target, self.version = name, method, target, version
        self.headers, self.body = headers, body


class LoopbackServer:
    """Held connections end when the client goes (silent, drip), at `hold_limit` seconds, or when
    the server closes. `big_bytes` adds the site 'big': a 200 with a body of that many bytes."""

    def __init__(self, port=0, hold_limit=400, big_bytes=0):
        self.answers = dict(STANDARD)
        if big_bytes:
            self.answers['big'] = Answer.status(200, 'OK', body=b'x' * big_bytes)
        self.requests = []          # Request, in arrival order
        self.open = {}              # site name -> requests being served now
        self.began = time.monotonic()
        self.hold_limit = hold_limit
        self.changed = threading.Condition()
        self.closing = threading.Event()
        self.release = threading.Event()
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            self.listener.bind(('127.0.0.1', port))
        except OSError as error:
            self.listener.close()
            raise Failure(f'cannot serve on 127.0.0.1:{port}: {error}')
        self.listener.listen(256)
        self.listener.settimeout(0.5)  # so the accept loop sees `closing`
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self._accept, name=f'loopback-{self.port}', daemon=True)
        self.thread.start()

    def url(self, path):
        """The address of `path` ('/ok/首页', or a bare site name such as 'steady')."""
        return f'http://127.0.0.1:{self.port}{path if path.startswith("/") else "/" + path}'

    def set(self, name, answer):
        with self.changed:
            self.answers[name] = answer

    def _accept(self):
        while not self.closing.is_set():
            try:
                conn, _ = self.listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    @staticmethod
    def _read_request(conn):
        conn.settimeout(10)
        data = b''
        while b'\r\n\r\n' not in data and len(data) < 65536:
            chunk = conn.recv(4096)
            if not chunk:
                break
            data += chunk
        head, _, body = data.partition(b'\r\n\r\n')
        lines = head.decode('latin-1').split('\r\n')
        method, target, version = (lines[0].split(' ', 2) + ['', '', ''])[:3]
        headers = dict(line.split(':', 1) for line in lines[1:] if ':' in line)
        headers = {key.strip(): value.strip() for key, value in headers.items()}
        length = int(headers.get('Content-Length', headers.get('content-length', '0')) or 0)
        while len(body) < length:
            chunk = conn.recv(4096)
            if not chunk:
                break
            body += chunk
        name = target.split('/')[1].split('?')[0] if target.startswith('/') else '?'
        return Request(name, method, target, version, headers, body)

    def _client_gone(self, conn, seconds):
        """Waits up to `seconds` (or until the server closes); True when the client closed."""
        deadline = time.monotonic() + seconds
        while not self.closing.is_set():
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            conn.settimeout(min(left, 0.5))
            try:
                if conn.recv(4096) == b'':
                    return True
            except socket.timeout:
                continue
            except OSError:
                return True
        return False

    def _serve(self, conn):
        name = '?'
        try:
            request = self._read_request(conn)
            name = request.name
            with self.changed:
                self.requests.append(request)
                self.open[name] = self.open.get(name, 0) + 1
                answer = self.answers.get(name, UNKNOWN)
                self.changed.notify_all()
            if answer.delay and self._client_gone(conn, answer.delay):
                return
            if answer.kind == 'status':
                conn.sendall(answer.head)
                conn.shutdown(socket.SHUT_WR)
                self._client_gone(conn, 5)
            elif answer.kind == 'empty':
                conn.shutdown(socket.SHUT_WR)
                self._client_gone(conn, 5)
            elif answer.kind == 'reset':
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
            elif answer.kind == 'silent':
                self._client_gone(conn, self.hold_limit)
            elif answer.kind == 'held':
                self.release.wait(self.hold_limit)
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
            elif answer.kind == 'drip':
                deadline = time.monotonic() + self.hold_limit
                data = answer.head
                while time.monotonic() < deadline and not self.closing.is_set():
                    conn.sendall(data[:1])
                    data = data[1:] or b'a'
                    if self._client_gone(conn, 1.0):
                        break
        except OSError:
            pass  # the client went early (a probe that reads only the status): nothing to do
        finally:
            with self.changed:
                self.open[name] = self.open.get(name, 1) - 1
                self.changed.notify_all()
            conn.close()

    def times(self, name):
        with self.changed:
            return [r.time for r in self.requests if r.name == name]

    def count(self, name):
        return len(self.times(name))

    def serving(self, name):
        """Requests of the site being served (held) now."""
        with self.changed:
            return self.open.get(name, 0)

    def wait(self, predicate, timeout, what):
        deadline = time.monotonic() + timeout
        with self.changed:
            while not predicate():
                left = deadline - time.monotonic()
                check(left > 0, f'timed out after {timeout} s waiting for {what}')
                self.changed.wait(left)

    def wait_requests(self, name, count, timeout):
        """Waits for the site's `count`-th request and returns it."""
        self.wait(lambda: sum(1 for r in self.requests if r.name == name) >= count, timeout,
                  f'{count} request(s) for {name}')
        with self.changed:
            return [r for r in self.requests if r.name == name][count - 1]

    def describe(self):
        """What the server saw, for the report of a failed test."""
        with self.changed:
            seen = ', '.join(f'{r.name} at {r.time - self.began:.1f} s' for r in self.requests)
        log(f'requests seen by 127.0.0.1:{self.port}: {seen or "none"}')

    def close(self):
        self.closing.set()
        self.release.set()
        self.listener.close()
        self.thread.join(10)


def refused_port():
    """A loopback port with nobody listening: bound once to find a free one, then closed."""
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]
