"""Scenario of the e-mail alert channel: SendMailOverSmtp (through the sending tool) against local
SMTP servers of Debian's aiosmtpd, over STARTTLS and over TLS from the first byte, with AUTH and
certificates of a test authority that only the tool's mount namespace trusts. A good server gets
the mail with its subject and body intact; a certificate for another name, from an unknown
authority or out of its dates means nothing is sent, and the outcome says which; a refused password shows the
server's line; a raised cancel ends a send that waits on a silent server."""
import email
import email.policy
import os
import socket
import ssl
import time

import pytest
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

from .checks import check, log
from .websites import HOST, OTHER_HOST, Authority, free_port
from .wine import find_built, hosts_launcher

USER, PASSWORD = 'monitor@corvell.test', 'app-授权码-7788'
SUBJECT = 'Corvell网站监控 办公室-前台：2 个网站故障，网站服务器，内部发生错误500 — 请尽快处理'
BODY = ['Corvell网站监控 办公室-前台', '.以点开头的一行', '2026-12-8 02:00:00 https://shop.example.com/ 网页不存在',
        '', 'plain ASCII line at the end']


class Mailbox:
    """What the servers accepted: (envelope, parsed message) pairs."""

    def __init__(self):
        self.mails = []

    async def handle_DATA(self, server, session, envelope):
        self.mails.append((envelope, email.message_from_bytes(envelope.original_content,
                                                                policy=email.policy.default)))
        return '250 OK'


def authenticate(server, session, envelope, mechanism, auth_data):
    good = (auth_data.login, auth_data.password) == (USER.encode(), PASSWORD.encode())
    return AuthResult(success=good, handled=False)  # handled=False: aiosmtpd answers 535 itself


@pytest.fixture
def mail_servers(wine, build):
    """A test authority; SMTP servers on 127.0.0.1 with its certificates: 'starttls' (STARTTLS
    required before AUTH), 'implicit' (TLS from the first byte), 'other' (a certificate for
    another name), 'self' (self-signed) and 'expired'; a port that accepts and never speaks
    ('silent').
    The tool's namespace maps HOST and OTHER_HOST to 127.0.0.1 and trusts the authority."""
    folder = os.path.join(wine.folder, 'mail')
    authority = Authority(os.path.join(folder, 'ca'))
    wine.launcher = hosts_launcher(build, folder, names=(HOST, OTHER_HOST), ca_bundle=authority.bundle())

    def context(name):
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(authority.path(name + '.crt'), authority.path(name + '.key'))
        return tls

    box, controllers, ports = Mailbox(), [], {}
    for name, options in (
            ('starttls', dict(tls_context=context('good'), require_starttls=True)),
            ('implicit', dict(ssl_context=context('good'), auth_require_tls=False)),
            ('other', dict(ssl_context=context('other'), auth_require_tls=False)),
            ('self', dict(ssl_context=context('self'), auth_require_tls=False)),
            ('expired', dict(ssl_context=context('expired'), auth_require_tls=False))):
        ports[name] = free_port()
        controller = Controller(box, hostname='127.0.0.1', port=ports[name], authenticator=authenticate,
                                auth_required=True, **options)
        controller.start()
        controllers.append(controller)
    silent = socket.socket()
    silent.bind(('127.0.0.1', 0))
    silent.listen(4)
    ports['silent'] = silent.getsockname()[1]
    yield box, ports
    silent.close()
    for controller in controllers:
        controller.stop()


def request(folder, name, port, security, host=HOST, password=PASSWORD, extra=()):
    path = os.path.join(folder, name + '.txt')
    lines = [f'host {host}', f'port {port}', f'security {security}', f'user {USER}',
             f'password {password}', f'from {USER}', 'to ops@corvell.test', 'to boss@corvell.test',
             f'subject {SUBJECT}', *(f'body {line}' for line in BODY), *extra]
    with open(path, 'w', encoding='utf-8', newline='\r\n') as f:
        f.write('\n'.join(lines) + '\n')
    return path


@pytest.mark.runs_for(25)
def test_mail_over_tls_and_bad_certificates(wine, build, mail_servers):
    box, ports = mail_servers
    tool = find_built(build, 'sitemon_smtp_send_tool.exe')
    cases = {  # name: (request, delivered, detail)
        'starttls': (dict(port=ports['starttls'], security='starttls'), True, '已发送'),
        'implicit': (dict(port=ports['implicit'], security='implicit'), True, '已发送'),
        'password': (dict(port=ports['implicit'], security='implicit', password='wrong'), False,
                     '535 5.7.8 Authentication credentials invalid'),
        'other': (dict(port=ports['other'], security='implicit'), False, f'证书无效：名称与 {HOST} 不符'),
        'self': (dict(port=ports['self'], security='implicit'), False, '证书无效：不是受信任的机构签发的'),
        'expired': (dict(port=ports['expired'], security='implicit'), False, '证书无效：已过期或尚未生效'),
        'cancel': (dict(port=ports['silent'], security='implicit', extra=['cancel-after-ms 500']), False, '已取消'),
    }
    for name, (options, delivered, detail) in cases.items():
        path = request(wine.folder, name, **options)
        started = time.monotonic()
        seen = wine.tool(tool, 'Z:' + path.replace('/', '\\'), check=False)
        took = time.monotonic() - started
        log(f'{name}: {seen} in {took:.1f} s')
        check(seen.get('delivered') == ('1' if delivered else '0') and seen.get('detail') == detail,
              f'{name}: expected delivered={delivered} "{detail}", got {seen}')
        check(PASSWORD not in repr(seen), f'{name}: the password shows in the outcome')
        if name == 'cancel':  # well inside the 30 s the tool would otherwise wait for an answer
            check(took < 20, f'the cancelled send took {took:.1f} s')

    check(len(box.mails) == 2, f'expected the two good sends only, the servers got {len(box.mails)}')
    for envelope, mail in box.mails:
        check(envelope.mail_from == USER and envelope.rcpt_tos == ['ops@corvell.test', 'boss@corvell.test'],
              f'envelope {envelope.mail_from} {envelope.rcpt_tos}')
        check(str(mail['subject']) == SUBJECT, f'subject {mail["subject"]!r}')
        check(mail['from'].addresses[0].display_name == 'Corvell网站监控', f'from {mail["from"]}')
        check(mail.get_content() == '\r\n'.join(BODY) + '\r\n', f'body {mail.get_content()!r}')
        check(all(len(line) <= 78 for line in envelope.original_content.split(b'\r\n')),
              'a line of the mail is too long')
