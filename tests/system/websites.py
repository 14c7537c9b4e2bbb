"""A real web server for the sites: Debian's nginx as a child process of the test, with its own
configuration, pid file, logs and temp folders in the test's folder, serving plain HTTP on
127.0.0.1 and [::1] and HTTPS with certificates of a test certificate authority that exists only
in the test's folder (openssl)."""
import os
import shutil
import socket
import subprocess
import time

from .checks import Failure, check, log
from .wine import CA_BUNDLE, end_process

HOST, OTHER_HOST = 'sites.sitemon.test', 'other.sitemon.test'


def openssl(folder, *args):
    done = subprocess.run(['openssl', *args], cwd=folder, capture_output=True, timeout=60)
    check(done.returncode == 0, f'openssl {args[0]} failed: {done.stderr.decode(errors="replace")}')


class Authority:
    """A test CA and the server certificates the cases need, each as <name>.crt and <name>.key:
    'good' (signed, for HOST and IP 127.0.0.1), 'self' (self-signed for HOST), 'expired'
    (signed, for HOST, valid only on 1 January 2020) and 'other' (signed, for OTHER_HOST)."""

    def __init__(self, folder):
        self.folder = folder
        os.makedirs(os.path.join(folder, 'issued'))
        for name, text in (('index.txt', ''), ('serial', '1000\n'), ('ca.cnf', CA_CONFIG)):
            with open(os.path.join(folder, name), 'w', encoding='ascii') as f:
                f.write(text)
        openssl(folder, 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'ca.key',
                '-out', 'ca.crt', '-days', '3', '-subj', '/CN=SiteMonitor Test CA',
                '-addext', 'basicConstraints=critical,CA:TRUE',
                '-addext', 'keyUsage=critical,keyCertSign,cRLSign')
        self._signed('good', HOST, f'DNS:{HOST},IP:127.0.0.1')
        self._signed('other', OTHER_HOST, f'DNS:{OTHER_HOST}')
        self._signed('expired', HOST, f'DNS:{HOST}', '-startdate', '20200101000000Z',
                     '-enddate', '20200102000000Z')
        openssl(folder, 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'self.key',
                '-out', 'self.crt', '-days', '3', '-subj', f'/CN={HOST}',
                '-addext', f'subjectAltName=DNS:{HOST}')
        # Each bad certificate is bad for its one reason only.
        for name, error in (('good', None), ('other', None), ('expired', 'certificate has expired'),
                            ('self', 'self-signed certificate')):
            seen = subprocess.run(['openssl', 'verify', '-CAfile', 'ca.crt', name + '.crt'],
                                  cwd=folder, capture_output=True, text=True, timeout=60)
            check((seen.returncode == 0) if error is None else error in seen.stdout + seen.stderr,
                  f'{name}.crt: openssl verify says {seen.stdout}{seen.stderr}')

    def _signed(self, name, common_name, alt_names, *dates):
        with open(os.path.join(self.folder, name + '.ext'), 'w', encoding='ascii') as f:
            f.write(f'basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n'
                    f'subjectAltName={alt_names}\n')
        openssl(self.folder, 'req', '-new', '-newkey', 'rsa:2048', '-nodes', '-keyout', name + '.key',
                '-out', name + '.csr', '-subj', f'/CN={common_name}')
        openssl(self.folder, 'ca', '-batch', '-notext', '-config', 'ca.cnf', '-in', name + '.csr',
                '-out', name + '.crt', '-extfile', name + '.ext',
                *(dates or ('-days', '3')))

    def bundle(self):
        """The system's CA bundle with this CA appended, to be mounted over the system's."""
        path = os.path.join(self.folder, 'ca-certificates.crt')
        shutil.copyfile(CA_BUNDLE, path)
        with open(path, 'ab') as out, open(os.path.join(self.folder, 'ca.crt'), 'rb') as ca:
            out.write(b'\n' + ca.read())
        return path

    def path(self, name):
        return os.path.join(self.folder, name)


CA_CONFIG = '''[ca]
default_ca = test
[test]
dir = .
certificate = ca.crt
private_key = ca.key
database = index.txt
new_certs_dir = issued
serial = serial
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
[anything]
commonName = supplied
'''


def free_port(family=socket.AF_INET, address='127.0.0.1'):
    with socket.socket(family) as probe:
        probe.bind((address, 0))
        return probe.getsockname()[1]


class Nginx:
    """nginx in the foreground (daemon off) as a child of the test. Ports: `http` (127.0.0.1 and
    [::1]) and one HTTPS port per certificate in `tls` ({certificate name: port}). Every server
    answers /ok 200, /missing 404; the HTTP one also /moved (301 to /ok), /busy 503, /drop (closes
    without a byte: nginx's 444), /big (a 10 MB page) and /secure (301 to https://HOST/ok)."""

    def __init__(self, folder, authority, certificates=('good', 'self', 'expired', 'other')):
        self.folder = folder
        for sub in ('www', 'temp', 'logs'):
            os.makedirs(os.path.join(folder, sub), exist_ok=True)
        with open(os.path.join(folder, 'www', 'big'), 'wb') as f:
            f.write(b'x' * (10 * 1024 * 1024))
        self.http = free_port()
        while True:  # the same free number on ::1 too
            try:
                with socket.socket(socket.AF_INET6) as probe:
                    probe.bind(('::1', self.http))
                break
            except OSError:
                self.http = free_port()
        self.tls = {name: free_port() for name in certificates}
        common = ('location = /ok { return 200 "ok\\n"; }\n'
                  '    location = /missing { return 404; }\n')
        servers = [f'''server {{
    listen 127.0.0.1:{self.http}; listen [::1]:{self.http};
    root {folder}/www;
    {common}    location = /moved {{ return 301 http://127.0.0.1:{self.http}/ok; }}
    location = /busy {{ return 503; }}
    location = /drop {{ return 444; }}
    location = /secure {{ return 301 https://{HOST}:{self.tls['good']}/ok; }}
}}''']
        for name, port in self.tls.items():
            servers.append(f'''server {{
    listen 127.0.0.1:{port} ssl;
    ssl_certificate {authority.path(name + '.crt')};
    ssl_certificate_key {authority.path(name + '.key')};
    {common}}}''')
        temp = os.path.join(folder, 'temp')
        config = f'''daemon off;
user root;
worker_processes 1;
pid {folder}/nginx.pid;
error_log {folder}/logs/error.log;
events {{ worker_connections 256; }}
http {{
    access_log {folder}/logs/access.log;
    default_type text/plain;
    client_body_temp_path {temp}/body; proxy_temp_path {temp}/proxy;
    fastcgi_temp_path {temp}/fastcgi; uwsgi_temp_path {temp}/uwsgi; scgi_temp_path {temp}/scgi;
{chr(10).join(servers)}
}}
'''
        self.config = os.path.join(folder, 'nginx.conf')
        with open(self.config, 'w', encoding='ascii') as f:
            f.write(config)
        self.proc = subprocess.Popen(['nginx', '-p', folder, '-c', self.config, '-e',
                                      os.path.join(folder, 'logs', 'error.log')],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE)
        try:
            self._wait_listening(30)
        except Failure:
            self.close()
            raise

    def _wait_listening(self, timeout):
        ends = [(socket.AF_INET, '127.0.0.1', port) for port in (self.http, *self.tls.values())]
        ends.append((socket.AF_INET6, '::1', self.http))
        deadline = time.monotonic() + timeout
        for family, address, port in ends:
            while True:
                check(self.proc.poll() is None,
                      f'nginx ended with {self.proc.returncode}: {self.proc.stderr.read().decode()}')
                with socket.socket(family) as probe:
                    if probe.connect_ex((address, port)) == 0:
                        break
                check(time.monotonic() < deadline, f'nginx does not listen on {address}:{port}')
                time.sleep(0.05)  # poll interval, bounded by the deadline above

    def access_log(self):
        with open(os.path.join(self.folder, 'logs', 'access.log'), encoding='utf-8',
                  errors='replace') as f:
            return f.read()

    def close(self):
        end_process(self.proc)
        log(f'nginx ended with {self.proc.returncode}')
