"""Loopback servers the scenarios start and stop themselves: the monitored web sites and the
maker's notice service. Nothing listens anywhere but 127.0.0.1."""
import http.server
import socket
import struct
import threading
import time

from e2e_checks import Failure, check


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


def refused_port():
    """A loopback port with nobody listening: bound once to find a free one, then closed."""
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


class Answer:
    """What a scripted site does with one request, after waiting `delay` seconds:
    'status' sends `head` (a whole answer head, then closes); 'empty' closes without a byte;
    'reset' resets the connection; 'silent' reads the request and never answers; 'drip' sends
    `head` one byte a second and never ends."""

    def __init__(self, kind, head=b'', delay=0.0):
        self.kind, self.head, self.delay = kind, head, delay

    @staticmethod
    def status(code, reason='Status', delay=0.0, headers=()):
        head = f'HTTP/1.1 {code} {reason}\r\n'.encode()
        for header in (*headers, 'Content-Length: 0', 'Connection: close'):
            head += header.encode() + b'\r\n'
        return Answer('status', head + b'\r\n', delay)

    @staticmethod
    def raw(data, delay=0.0):
        return Answer('status', data, delay)


class ScriptedSites:
    """A loopback web server over plain sockets whose answers are set per site at run time, so a
    scenario can switch a site from 200 to 404 and back, delay an answer to place its report in
    time, or answer in ways no proper server does. Sites are told apart by the first part of the
    path. Every held connection ends when the client goes, at `hold_limit` seconds, or when the
    server closes."""

    def __init__(self, hold_limit=400, port=0):
        self.answers = {}           # site name -> Answer
        self.requests = []          # (site name, monotonic time of the request)
        self.finished = []          # (site name, monotonic time the answer was done)
        self.open = {}              # site name -> requests being served now
        self.began = time.monotonic()
        self.hold_limit = hold_limit
        self.changed = threading.Condition()
        self.closing = threading.Event()
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(('127.0.0.1', port))
        self.listener.listen(64)
        self.listener.settimeout(0.5)  # so the accept loop sees `closing`
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self._accept, name='scripted-sites', daemon=True)
        self.thread.start()

    def url(self, name, rest=''):
        return f'http://127.0.0.1:{self.port}/{name}{rest}'

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

    def _read_head(self, conn):
        conn.settimeout(10)
        data = b''
        while b'\r\n\r\n' not in data and len(data) < 65536:
            chunk = conn.recv(4096)
            if not chunk:
                break
            data += chunk
        return data

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
            head = self._read_head(conn)
            parts = head.split(b' ', 2)
            name = parts[1].decode('ascii', 'replace').split('/')[1].split('?')[0] \
                if len(parts) > 1 and parts[1].startswith(b'/') else '?'
            with self.changed:
                self.requests.append((name, time.monotonic()))
                self.open[name] = self.open.get(name, 0) + 1
                answer = self.answers.get(name, Answer.status(404, 'Not Found'))
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
            elif answer.kind == 'drip':
                deadline = time.monotonic() + self.hold_limit
                data = answer.head
                while time.monotonic() < deadline and not self.closing.is_set():
                    conn.sendall(data[:1])
                    data = data[1:] or b'a'
                    if self._client_gone(conn, 1.0):
                        break
        except OSError:
            pass
        finally:
            with self.changed:
                self.open[name] = self.open.get(name, 1) - 1
                self.finished.append((name, time.monotonic()))
                self.changed.notify_all()
            conn.close()

    def times(self, name):
        with self.changed:
            return [t for n, t in self.requests if n == name]

    def count(self, name):
        return len(self.times(name))

    def wait(self, predicate, timeout, what):
        deadline = time.monotonic() + timeout
        with self.changed:
            while not predicate():
                left = deadline - time.monotonic()
                check(left > 0, f'timed out after {timeout} s waiting for {what}')
                self.changed.wait(left)

    def close(self):
        self.closing.set()
        self.listener.close()
        self.thread.join(10)
