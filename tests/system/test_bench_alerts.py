"""The alerts' cost on a report, for script/bench: the main window handles a worker's report (a
200 status, as test_bench_report measures it) in a life of the program with three channels set up
in alerts.json, and in one with none; each against the anchor measured beside it, in lives that
alternate. A healthy report sends nothing, so what it costs is the alerts hearing of it. The
channels point at a closed loopback port: nothing leaves the machine. The test fails only when a
measurement cannot be taken."""
import json
import os
import statistics

import pytest

from .checks import check
from .servers import STANDARD
from .test_bench_report import RUNS, measure, row

TARGET = 1.05
LIVES = 2  # of each kind, alternating


def three_channels():
    closed = 'https://127.0.0.1:9'
    return [
        {'name': '运维群', 'kind': 'wecom', 'enabled': True, 'webhook': f'{closed}/cgi-bin/webhook/send?key=bench-key'},
        {'name': '钉钉值班', 'kind': 'dingtalk', 'enabled': True,
         'webhook': f'{closed}/robot/send?access_token=bench', 'secret': 'SECbench'},
        {'name': '自建接收', 'kind': 'webhook', 'enabled': True, 'webhook': f'{closed}/hooks/sitemonitor'},
    ]


@pytest.mark.bench
@pytest.mark.runs_for(420)
def test_report_cost_with_alert_channels(env, loopback):
    server = loopback()
    server.set('', STANDARD['ok'])
    alerts_path = os.path.join(env.data, 'alerts.json')
    ratios = {'none': [], 'three': []}
    for _ in range(LIVES):
        for kind in ('none', 'three'):
            if kind == 'three':
                with open(alerts_path, 'w', encoding='utf-8') as f:
                    json.dump({'format': 1, 'channels': three_channels()}, f, ensure_ascii=False)
            elif os.path.exists(alerts_path):
                os.remove(alerts_path)
            ratios[kind] += measure(env, server.url('/'))[2]
            if kind == 'three':
                with open(alerts_path, encoding='utf-8') as f:
                    check('secretSealed' in f.read(), 'the program did not read alerts.json')
    none, three = statistics.median(ratios['none']), statistics.median(ratios['three'])
    row(f'one report / anchor with no alert channel (median of {LIVES * RUNS} runs)', f'{none:.2f}x', '', None)
    row(f'the same with three alert channels set (median of {LIVES * RUNS} runs)', f'{three:.2f}x', '', None)
    row('cost of one report with three alert channels / with none', f'{three / none:.3f}x', f'<= {TARGET:g}x',
        three / none <= TARGET)
