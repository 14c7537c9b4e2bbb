"""Scenario of the alerts: a webhook channel set up through the "告警通知" dialog (its test message
delivered and the answer shown), then a site that goes down and comes back: the receiver gets
exactly those two alerts, with the program's and the machine's names, the site, the failure text
and how long it was down. And the dialog at 150 % (144 DPI): inside the work area, every control
inside the dialog."""
import json
import os
import re
import subprocess

import pytest

from .checks import (CHECK_LIST, EDIT, EXIT_BY_CLOSE, ID, MAIN_BLUE, RETRY_COUNT_LIST,
                     RETRY_INTERVAL_LIST, SOON, START, STOP, check, log, stamp_of, wait_for)
from .servers import Answer

TRAY_ALERTS = ID.ID_TRAY_ALERTS
PROGRAM = 'Corvell网站监控'
MISSING, OK = '网页不存在', '访问正常'
WEBHOOK = 3  # the kind list's "Webhook"
EMAIL = 4
RECEIVED = Answer.status(200, 'OK', headers=['Content-Type: application/json'], body=b'{"ok":true}')


def open_dialog(driver):
    driver.must('command', TRAY_ALERTS)
    return driver.must('wait-alerts', 1, SOON * 1000)


def messages(receiver):
    """The JSON bodies the receiver got, in order."""
    with receiver.changed:
        bodies = [r.body for r in receiver.requests if r.name == 'hook']
    return [json.loads(body.decode('utf-8')) for body in bodies]


def duration_seconds(text):
    """"1分5秒" and the like, as the messages write a length of time, in seconds."""
    match = re.fullmatch(r'(?:(\d+)天)?(?:(\d+)小时)?(?:(\d+)分)?(\d+)秒', text)
    check(match is not None, f'not a length of time: {text!r}')
    days, hours, minutes, seconds = (int(part or 0) for part in match.groups())
    return ((days * 24 + hours) * 60 + minutes) * 60 + seconds


def set_up_channel(env, driver, hook):
    """Adds a webhook channel through the dialog, sends its test message, saves; returns the
    test message the receiver got."""
    dialog = open_dialog(driver)
    check(dialog['title'] == '告警通知' and dialog['rows'] == [],
          f'a fresh data folder opens an empty "告警通知": {dialog}')
    driver.must('alerts-click', ID.IDC_ALERTS_ADD)
    wait_for('the new channel', SOON, lambda: driver.must('alerts')['selected'] == 0)
    driver.must('alerts-set', ID.IDC_ALERTS_NAME, '值班群')
    driver.must('alerts-combo', ID.IDC_ALERTS_KIND, WEBHOOK)
    wait_for('the webhook\'s fields', SOON, lambda: not driver.must('alerts')['secret_field'])
    driver.must('alerts-set', ID.IDC_ALERTS_ADDRESS, hook)
    driver.must('alerts-click', ID.IDC_ALERTS_TEST)
    answer = driver.must('wait-alerts-answer', '测试消息已送达', 2 * SOON * 1000)['answer']
    log(f'test answer: {answer}')
    test = messages(env.receiver)
    check(len(test) == 1, f'one test message expected, the receiver got {test}')
    env.screenshot('alerts-dialog', driver.must('alerts')['rect'], MAIN_BLUE)

    driver.must('alerts-click', ID.IDC_ALERTS_SAVE)
    driver.must('wait-alerts-answer', '已保存 1 个通道', SOON * 1000)
    check(os.path.isfile(os.path.join(env.data, 'alerts.json')), 'alerts.json was not written')
    driver.must('alerts-escape')
    driver.must('wait-alerts', 0, SOON * 1000)

    # Opened again, it shows the stored channel.
    rows = open_dialog(driver)['rows']
    check(rows == [['值班群', 'Webhook', '启用', hook]], f'the stored channel shows as {rows}')
    driver.must('alerts-click', ID.IDC_ALERTS_CLOSE)
    driver.must('wait-alerts', 0, SOON * 1000)
    return test[0]


@pytest.mark.runs_for(120)
def test_alert_for_a_site_down_and_back(env, loopback):
    """The shortest settings ("30秒", "1次", "10秒"): the site answers 404 twice (its failure row
    at ~10 s), then 200 (its recovery row at ~40 s)."""
    env.receiver = loopback()
    env.receiver.set('hook', RECEIVED)
    sites = loopback()
    sites.set('shop', Answer.status(404, 'Not Found'))
    hook, site = env.receiver.url('hook'), sites.url('shop')

    env.fresh_data_folder()
    program, driver = env.start()
    test = set_up_channel(env, driver, hook)
    header = test['text'].split('\n')[0]
    machine = test.get('machine', '')
    check(machine and header == f'{PROGRAM} {machine}', f'the test message begins {header!r}')

    driver.must('set-text', EDIT, site)
    for control in (CHECK_LIST, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST):
        driver.must('combo-set', control, 0)
    driver.must('click', START)
    down_row = driver.wait_rows(f'{site} {MISSING}', 1, 10 + 2 * SOON)[0]
    sites.set('shop', Answer.status(200, 'OK'))
    rows = driver.wait_rows(f'{site} {OK}', 1, 30 + 2 * SOON)
    up_row = next(r for r in rows if r.endswith(f'{site} {OK}'))
    env.receiver.wait(lambda: sum(1 for r in env.receiver.requests if r.name == 'hook') >= 3, 2 * SOON,
                      'the down and the back-up alerts')
    driver.must('click', STOP)
    driver.wait_rows('监控停止!', 1, SOON)
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE)

    sent = messages(env.receiver)
    check(len(sent) == 3, f'expected the test message and two alerts, the receiver got {sent}')
    down, up = sent[1]['text'], sent[2]['text']
    log(f'down alert:\n{down}\nback-up alert:\n{up}')
    for text in (down, up):
        check(text.split('\n')[0] == header, f'an alert does not begin with {header!r}: {text!r}')
        check(site in text, f'an alert does not name {site}: {text!r}')
    check(MISSING in down and OK not in down, f'the down alert: {down!r}')
    check(OK in up, f'the back-up alert: {up!r}')
    length = re.search(r'故障时长：?(\S+?秒)', up)
    check(length is not None, f'the back-up alert gives no length of the outage: {up!r}')
    # The outage lasts from the failure row to the recovery row; its first failed probe came one
    # retry interval (10 s) before the failure row.
    between = (stamp_of(up_row) - stamp_of(down_row)).total_seconds()
    seconds = duration_seconds(length.group(1))
    check(between - 1 <= seconds <= between + 10 + 2,
          f'the outage is given as {seconds} s; its rows are {between:.0f} s apart')


@pytest.mark.runs_for(40)
def test_alerts_dialog_at_150_percent(env):
    """At 144 DPI the template's controls scale with the dialog: every one lies inside it, and the
    dialog inside the work area; the e-mail kind's fields replace the webhook's."""
    subprocess.run(['wine', 'reg', 'add', r'HKCU\Control Panel\Desktop', '/v', 'LogPixels', '/t', 'REG_DWORD',
                    '/d', '144', '/f'], check=True, capture_output=True, timeout=120)
    env.fresh_data_folder()
    program, driver = env.start()
    dialog = open_dialog(driver)
    left, top, right, bottom = dialog['rect']
    wl, wt, wr, wb = dialog['work']
    check(wl <= left and wt <= top and right <= wr and bottom <= wb,
          f'the dialog {dialog["rect"]} is not inside the work area {dialog["work"]}')
    # Its 320 dialog units are some 480 pixels at 96 DPI, half as much again at 144.
    check(right - left >= 320 * 1.5 * 1.4, f'the dialog is not scaled to 144 DPI: {dialog["rect"]}')
    driver.must('alerts-click', ID.IDC_ALERTS_ADD)
    # The click is posted, the choice below is sent and would overtake it: the new channel's form
    # would then put the webhook kind back.
    wait_for('the new channel', SOON, lambda: driver.must('alerts')['selected'] == 0)
    driver.must('alerts-combo', ID.IDC_ALERTS_KIND, EMAIL)
    wait_for('the e-mail fields', SOON, lambda: driver.must('alerts')['mail_fields'])
    ids = [value for name, value in vars(ID).items() if name.startswith('IDC_ALERTS_')]
    for control in ids:
        state = driver.must('alerts-enabled', control)
        if state['visible']:
            cl, ct, cr, cb = state['rect']
            check(left <= cl and top <= ct and cr <= right and cb <= bottom,
                  f'control {control} at {state["rect"]} reaches out of the dialog {dialog["rect"]}')
    env.screenshot('alerts-dialog-144dpi', dialog['rect'], MAIN_BLUE)
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE)
