"""A small loopback HTTP server for the bench and the reliability checks: 127.0.0.1 on a free
port, one thread per connection, fixed answers by path, stopped by its owner (a context
manager). Every connection gets its answer and is closed ("Connection: close")."""
import socket
import threading

OK_BODY = b'ok'


class LoopbackServer:
    def __init__(self, big_bytes=0):
        self.big = b'x' * big_bytes
        self.requests = 0
        self.lock = threading.Lock()
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(('127.0.0.1', 0))
        self.sock.listen(256)
        self.port = self.sock.getsockname()[1]
        self.stopping = False
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def url(self, path):
        return f'http://127.0.0.1:{self.port}{path}'

    def _accept(self):
        while not self.stopping:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        try:
            conn.settimeout(30)
            head = b''
            while b'\r\n\r\n' not in head:
                chunk = conn.recv(4096)
                if not chunk:
                    return
                head += chunk
            path = head.split(b' ', 2)[1] if head.count(b' ') >= 2 else b'/'
            with self.lock:
                self.requests += 1
            if path.startswith(b'/big'):
                body, status = self.big, b'200 OK'
            elif path.startswith(b'/moved'):
                body, status = b'', b'302 Found'  # no Location: WinINet reports the 302 itself
            else:
                body, status = OK_BODY, b'200 OK'
            conn.sendall(b'HTTP/1.1 ' + status + b'\r\nContent-Type: text/plain\r\nContent-Length: '
                         + str(len(body)).encode() + b'\r\nConnection: close\r\n\r\n')
            view = memoryview(body)
            while view:
                sent = conn.send(view[:65536])
                view = view[sent:]
        except OSError:
            pass  # the client closed early (a probe that read only the status): nothing to do
        finally:
            conn.close()

    def request_count(self):
        with self.lock:
            return self.requests

    def close(self):
        self.stopping = True
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
        self.thread.join(5)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
