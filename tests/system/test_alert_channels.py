"""Scenario of the alert channels against receivers playing 企业微信, 钉钉, 飞书 and a webhook over
HTTPS with the test authority's certificate (trusted only in the tool's mount namespace). The
receivers check each body and the 钉钉 and 飞书 signatures with the services' documented algorithm
(Python's hmac, not ours); the channels are read from an alerts.json written with plain secrets,
which the program seals, and sent by the program's own senders (sitemon_alert_send_tool.exe)."""
import base64
import hashlib
import hmac
import http.server
import json
import os
import ssl
import threading
import time
import urllib.parse

import pytest

from .checks import check
from .websites import HOST, Authority, free_port
from .wine import find_built, hosts_launcher

TEXT = 'Corvell网站监控 WINE-PC\n这是一条测试消息'
DING_SECRET, FEISHU_SECRET = 'SECding-8c1f0e-secret', 'feishu-3b7a-secret'
WECOM_KEY, DING_TOKEN, FEISHU_TOKEN = '693axxx6-7aoc-4bc4-97a0-0ec2sifa5aaa', 'dingtoken4f2e9a', 'feishutoken-77c2-0d1e'


def ding_sign(timestamp, secret):
    mac = hmac.new(secret.encode(), f'{timestamp}\n{secret}'.encode(), hashlib.sha256).digest()
    return base64.b64encode(mac).decode()


def feishu_sign(timestamp, secret):
    mac = hmac.new(f'{timestamp}\n{secret}'.encode(), b'', hashlib.sha256).digest()
    return base64.b64encode(mac).decode()


class Receivers(http.server.ThreadingHTTPServer):
    """One HTTPS server for every service, told apart by the path's first part; each request is
    kept as (service, query, body, signature good or None), and the answer is the service's."""
    daemon_threads = True

    def __init__(self, certificate, key):
        super().__init__(('127.0.0.1', free_port()), Handler)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(certificate, key)
        self.socket = context.wrap_socket(self.socket, server_side=True, do_handshake_on_connect=False)
        self.seen = []
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def close(self):
        self.shutdown()
        self.server_close()


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_POST(self):
        target = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(target.query))
        raw = self.rfile.read(int(self.headers.get('Content-Length', 0)))
        body = json.loads(raw.decode('utf-8'))
        service = target.path.strip('/').split('/')[0]
        good = None
        if service == 'ding':
            # The sign arrives URL-encoded; parse_qsl has decoded it once.
            good = query.get('sign') == ding_sign(query.get('timestamp'), DING_SECRET) and \
                abs(int(query['timestamp']) - time.time() * 1000) < 3600_000
            answer = {'errcode': 0, 'errmsg': 'ok'} if good else {'errcode': 310000, 'errmsg': 'sign not match'}
        elif service == 'feishu':
            good = body.get('sign') == feishu_sign(body.get('timestamp'), FEISHU_SECRET) and \
                abs(int(body['timestamp']) - time.time()) < 3600
            answer = {'code': 0, 'msg': 'success', 'data': {}} if good else {'code': 19021, 'msg': 'sign match fail'}
        elif service == 'refuse':
            answer = {'errcode': 93000, 'errmsg': 'invalid webhook url, hint: [key wrong]'}
        else:
            answer = {'errcode': 0, 'errmsg': 'ok'}
        self.server.seen.append((service, query, body, good))
        data = json.dumps(answer).encode()
        self.send_response(200)
        self.send_header('Content-Type', 'application/json')
        self.send_header('Content-Length', str(len(data)))
        self.end_headers()
        self.wfile.write(data)


@pytest.fixture
def receivers(wine, build):
    folder = os.path.join(wine.folder, 'receivers')
    authority = Authority(os.path.join(folder, 'ca'))
    wine.launcher = hosts_launcher(build, folder, names=(HOST,), ca_bundle=authority.bundle())
    good = Receivers(authority.path('good.crt'), authority.path('good.key'))
    self_signed = Receivers(authority.path('self.crt'), authority.path('self.key'))
    yield good, self_signed
    good.close()
    self_signed.close()


def windows_path(path):
    return 'Z:' + path.replace('/', '\\')


@pytest.mark.runs_for(40)
def test_alert_channels_over_https(wine, build, receivers):
    good, self_signed = receivers
    tool = find_built(build, 'sitemon_alert_send_tool.exe')
    base = f'https://{HOST}:{good.server_address[1]}'
    channels = [
        {'name': '企业微信', 'kind': 'wecom', 'webhook': f'{base}/wecom/cgi-bin/webhook/send?key={WECOM_KEY}'},
        {'name': '钉钉', 'kind': 'dingtalk', 'webhook': f'{base}/ding/robot/send?access_token={DING_TOKEN}',
         'secret': DING_SECRET},
        {'name': '飞书', 'kind': 'feishu', 'webhook': f'{base}/feishu/open-apis/bot/v2/hook/{FEISHU_TOKEN}',
         'secret': FEISHU_SECRET},
        {'name': 'hook', 'kind': 'webhook', 'webhook': f'{base}/hook/in'},
        {'name': '拒收', 'kind': 'wecom', 'webhook': f'{base}/refuse/send?key={WECOM_KEY}'},
        {'name': '自签', 'kind': 'wecom',
         'webhook': f'https://{HOST}:{self_signed.server_address[1]}/wecom/send?key={WECOM_KEY}'},
    ]
    path = os.path.join(wine.folder, 'alerts.json')
    with open(path, 'w', encoding='utf-8') as f:
        json.dump({'channels': channels}, f, ensure_ascii=False)

    for run in (1, 2):  # the second run reads the secrets the first sealed
        good.seen.clear()
        said = wine.tool(tool, windows_path(path), timeout=180, check=False)
        check(said.get('load') == 'loaded', f'run {run}: {said}')
        for index in range(4):
            check(said.get(f'channel{index}', '').startswith('delivered'), f'run {run}: channel{index}: {said}')
        refused = said.get('channel4', '')
        check(refused.startswith('failed') and 'invalid webhook url' in refused and '93000' in refused, refused)
        check(said.get('channel5', '').startswith('failed') and '证书' in said['channel5'], said.get('channel5'))
        check(not any(secret in line for line in said.values()
                      for secret in (WECOM_KEY, DING_TOKEN, FEISHU_TOKEN, DING_SECRET, FEISHU_SECRET)),
              f'a secret in the output: {said}')
        by_service = {service: (query, body, signed) for service, query, body, signed in good.seen}
        check(by_service['wecom'][1] == {'msgtype': 'text', 'text': {'content': TEXT}}, by_service['wecom'])
        check(by_service['ding'][2] is True and by_service['ding'][0]['access_token'] == DING_TOKEN and
              by_service['ding'][1] == {'msgtype': 'text', 'text': {'content': TEXT}}, by_service['ding'])
        feishu = by_service['feishu'][1]
        check(by_service['feishu'][2] is True and feishu['msg_type'] == 'text' and
              feishu['content'] == {'text': TEXT}, feishu)
        check(by_service['hook'][1] == {'event': 'test', 'machine': 'WINE-PC', 'text': TEXT}, by_service['hook'])
        with open(path, encoding='utf-8') as f:
            stored = f.read()
        for secret in (WECOM_KEY, DING_TOKEN, FEISHU_TOKEN, DING_SECRET, FEISHU_SECRET):
            check(secret not in stored, f'{secret} stored in plain text:\n{stored}')

    with open(path, 'w', encoding='utf-8') as f:
        f.write('{"channels": [')
    said = wine.tool(tool, windows_path(path), timeout=180, check=False)
    check(said.get('load') == 'damaged' and 'aside' in said, said)
    aside = os.path.join(wine.folder, said['aside'].replace('\\', '/').rsplit('/', 1)[-1])
    check(not os.path.exists(path) and os.path.isfile(aside), f'not set aside: {os.listdir(wine.folder)}')
    with open(aside, encoding='utf-8') as f:
        check(f.read() == '{"channels": [', 'the damaged file changed')
