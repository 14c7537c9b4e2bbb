"""The availability page in a real browser: a 90-day history of 40 sites, written as the program
writes its day files, made into the page by SiteMonitorConsole.exe --report --html and opened in
headless Chromium, which must show the figures the text report prints, fit a 1366-pixel-wide
screen, and load nothing from anywhere."""
import csv
import io
import os
import random
import shutil
import subprocess
import time
from html.parser import HTMLParser

import pytest

from .checks import EXIT_BY_CLOSE, ID, SOON, check, log, wait_for
from .wine import find_built

CHROMIUM = '/usr/bin/chromium'
SITES = 40
DAYS = 90
ZONE_MINUTES = round(time.localtime().tm_gmtoff / 60)  # Wine takes the machine's zone
UP, PAGE_MISSING, SERVER_ERROR, NOT_KNOWN = '访问正常', '网页不存在', '网站服务器，内部发生错误500', 'http未知状态'
NET_DOWN, NET_BACK = '本机网络断线，请检查网线是否插好', '本机网络恢复正常'


def stamp(utc):
    t = time.gmtime(utc + ZONE_MINUTES * 60)
    return f'{t.tm_year:4d}-{t.tm_mon}-{t.tm_mday} {t.tm_hour:02d}:{t.tm_min:02d}:{t.tm_sec:02d}'


def day_name(utc):
    return time.strftime('%Y-%m-%d.log', time.gmtime(utc + ZONE_MINUTES * 60))


class HistoryWriter:
    """Day files as the console writes them: each line the row, a TAB and its facts; a run's
    first line in a day file is preceded by its carried state."""

    def __init__(self, folder):
        self.folder, self.files = folder, {}

    def run(self, start, pid):
        return Run(self, start, pid)

    def add(self, utc, line):
        name = day_name(utc)
        self.files.setdefault(name, []).append(line)
        return name

    def save(self):
        os.makedirs(self.folder, exist_ok=True)
        for name, lines in self.files.items():
            with open(os.path.join(self.folder, name), 'wb') as f:
                f.write(b'\xef\xbb\xbf' + ''.join(line + '\r\n' for line in lines).encode('utf-8'))


class Run:
    def __init__(self, history, start, pid):
        self.history, self.start, self.name = history, start, f'C-{start}-{pid}'
        self.day, self.started, self.net_down, self.began = None, None, None, {}

    def line(self, utc, row, carry=False):
        facts = f'~ run={self.name} t={utc - self.start} u={utc} z={ZONE_MINUTES:+d}' + (' carry' if carry else '')
        return f'{row}\t{facts}'

    def write(self, utc, text):
        row = f'{stamp(utc)} {text}'
        if self.started and day_name(utc) != self.day:
            for carried in [self.started, self.net_down, *self.began.values()]:
                if carried:
                    self.history.add(utc, self.line(*carried, carry=True))
        self.day = self.history.add(utc, self.line(utc, row))
        return utc, row

    def site(self, utc, url, status):
        written = self.write(utc, f'{url} {status}')
        if self.began.get(url) is None or self.began[url][1].split(' ', 3)[3] != status:
            self.began[url] = written


def generate_history(folder, now, seed=25):
    """40 sites over the 90 days: runs of a few days each, gaps between them (a whole day
    unwatched among them), one run killed, a network outage, outages and not-known stretches of
    a few sites. Each site has a row every hour and one at each change."""
    rng = random.Random(seed)
    urls = [f'http://site{i:02d}.example.test/' for i in range(SITES)]
    urls[-1] = f'http://site{SITES - 1:02d}.example.test/"><b>x</b>'  # a hostile address must stay text
    flaky = {i: rng.choice([0.002, 0.01, 0.04]) for i in rng.sample(range(SITES), 12)}
    history = HistoryWriter(folder)
    first = now - (DAYS - 1) * 86400 - (now + ZONE_MINUTES * 60) % 86400 + 3600
    start, pid = first, 1000
    while start < now - 3600:
        length = min(rng.randint(2, 9) * 86400 + rng.randint(0, 40000), now - 300 - start)
        run = history.run(start, pid)
        run.started = run.write(start, '监控开始运行')
        state = {url: UP for url in urls}
        for utc in range(start + 30, start + length, 600):
            hourly = (utc - start) % 3600 < 600
            if utc > start + 86400 and rng.random() < 0.0004 and not run.net_down:
                run.net_down = run.write(utc, NET_DOWN)
                continue
            if run.net_down:
                if rng.random() < 0.3:
                    run.write(utc, NET_BACK)
                    run.net_down = None
                continue
            for i, url in enumerate(urls):
                before = state[url]
                if before == UP and rng.random() < flaky.get(i, 0) / 6:
                    state[url] = rng.choice([PAGE_MISSING, SERVER_ERROR, NOT_KNOWN])
                elif before != UP and rng.random() < 0.35:
                    state[url] = UP
                if hourly or state[url] != before:
                    run.site(utc, url, state[url])
        if rng.random() < 0.8:
            run.write(start + length, '停止中...')
            run.write(start + length + 1, '监控停止!')
        gap = 2 * 86400 + 3600 if pid == 1003 else rng.choice([60, 1800, 7200, 90000])  # 1003: a day unwatched
        start, pid = start + length + gap, pid + 1
    history.save()
    return urls


class PageReader(HTMLParser):
    """The site rows of the page as the browser holds them: each row's cells' texts, and the
    day cells' classes and tooltips."""

    def __init__(self):
        super().__init__()
        self.rows, self.cell, self.tags = [], None, set()

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.tags.add(tag)
        for name in ('src', 'href'):
            check(name not in attrs, f'the page loads or links something: <{tag} {attrs}>')
        classes = (attrs.get('class') or '').split()
        if tag == 'tr' and 'site' in classes:
            self.rows.append({'cells': [], 'days': []})
        elif self.rows and tag == 'td' and self.cell is None and len(self.rows[-1]['cells']) < 8:
            self.cell = []
        elif self.rows and tag == 'span' and 'cell' in classes:
            self.rows[-1]['days'].append((classes[1], attrs.get('title', '')))

    def handle_endtag(self, tag):
        if tag == 'td' and self.cell is not None:
            self.rows[-1]['cells'].append(' '.join(''.join(self.cell).split()))
            self.cell = None
        elif tag == 'tbody' and self.rows:
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell.append(data)


def chromium(profile, *arguments):
    """Headless Chromium on its own new profile, nothing from the network; its output."""
    result = subprocess.run([CHROMIUM, '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic',
                             '--no-first-run', '--disable-background-networking', '--disable-component-update',
                             '--disable-sync', f'--user-data-dir={profile}', '--window-size=1366,900', *arguments],
                            capture_output=True, timeout=180, stdin=subprocess.DEVNULL)
    check(result.returncode == 0, f'chromium ended with {result.returncode}: {result.stderr[-2000:]!r}')
    return result.stdout.decode('utf-8')


def console(env, *arguments):
    program = find_built(env.programs.build, 'SiteMonitorConsole.exe')
    result = subprocess.run([*env.wine.launcher, 'wine', program, *arguments], capture_output=True, timeout=300,
                            stdin=subprocess.DEVNULL)
    return result.returncode, result.stdout.decode('utf-8-sig'), result.stderr.decode('utf-8', 'replace')


@pytest.mark.skipif(not os.access(CHROMIUM, os.X_OK), reason='Debian\'s chromium is not installed')
@pytest.mark.runs_for(150)
def test_report_page_in_chromium(env, tmp_path):
    env.fresh_data_folder()
    urls = generate_history(env.trace_path, int(time.time()))
    page = os.path.join(env.wine.folder, 'page.html')
    for _ in range(2):  # once more when local midnight passed between the page and the reports
        day = day_name(time.time())
        code, out, err = console(env, '--report', '--html', 'Z:' + page.replace('/', '\\'))
        check(code == 0 and os.path.isfile(page), f'--report --html ended with {code}: {out!r} {err!r}')
        check('可用率报告已写入 Z:' + page.replace('/', '\\') in out, f'the console did not say where: {out!r}')
        check(not os.path.exists(page + '.tmp'), 'the temporary page was left behind')
        reports = {}
        for days in (7, 30, 90):
            code, text, err = console(env, '--report', '--days', str(days), '--csv')
            check(code == 0, f'--report --days {days} --csv ended with {code}: {err!r}')
            reports[days] = {r['address']: r for r in csv.DictReader(io.StringIO(text))}
        code, text, err = console(env, '--report', '--days', '90')
        check(code == 0, f'--report --days 90 ended with {code}: {err!r}')
        if day_name(time.time()) == day:
            break

    # What the browser shows: the rows of the page it parsed.
    reader = PageReader()
    reader.feed(chromium(tmp_path / 'profile', '--dump-dom', f'file://{page}'))
    check('script' not in reader.tags, 'the page holds a script')
    shown = {row['cells'][0]: row for row in reader.rows}
    check(list(shown) == urls, f'the page lists {list(shown)[:5]}..., not the 40 sites in order')
    for url, row in shown.items():
        cells = row['cells']
        for column, days in ((2, 7), (3, 30), (4, 90)):
            figure = reports[days][url]['up_time_percent']
            check(cells[column].split('%')[0] == (figure or '-'),
                  f'{url}: the page shows {cells[column]!r} for {days} days, the report {figure!r}')
        check(cells[6] == reports[90][url]['outages'], f'{url}: {cells[6]} outages on the page, '
                                                       f'{reports[90][url]["outages"]} in the report')
        line = next((l for l in text.split('\r\n') if url in l), '')
        check(reports[90][url]['up_time_percent'] in line, f'{url}: the text report says {line!r}')
        check(len(row['days']) == DAYS, f'{url}: {len(row["days"])} day cells')
        check(all(title.startswith(('20', '19')) for _, title in row['days']), f'{url}: a day cell without its figures')
    grey = [title for _, title in shown[urls[0]]['days'] if title.endswith('未监控')]
    check(grey, 'no day of the history shows as not watched')

    # The page fits the screen's width (a copy that may run a script measures it).
    with open(page, encoding='utf-8') as f:
        html = f.read()
    measured = tmp_path / 'measured.html'
    measured.write_text(html.replace('http-equiv="Content-Security-Policy"', 'data-csp="off"').replace(
        '</body>', '<script>document.body.dataset.width=document.documentElement.scrollWidth</script></body>'),
        encoding='utf-8')
    dom = chromium(tmp_path / 'profile2', '--dump-dom', f'file://{measured}')
    width = int(dom.split('data-width="', 1)[1].split('"', 1)[0])
    check(width <= 1366, f'the page is {width} pixels wide on a 1366-pixel screen')

    shot = os.path.join(env.artifacts, 'report-page.png')
    chromium(tmp_path / 'profile3', f'--screenshot={shot}', f'file://{page}')
    check(os.path.getsize(shot) > 10000, 'the screenshot is empty')
    shutil.copy(page, os.path.join(env.artifacts, 'report-page.html'))
    log(f'screenshot {shot}, page {len(html)} bytes')

    # The tray's "可用率报告": the same page, written into the data folder and handed to the
    # browser (Wine's winebrowser, told to use a stand-in that notes what it was asked to open,
    # so no real browser starts).
    opened = os.path.join(env.wine.folder, 'opened.txt')
    browser = os.path.join(env.wine.folder, 'browser.sh')
    with open(browser, 'w') as f:
        f.write(f'#!/bin/sh\nprintf "%s\\n" "$@" > {opened}\n')
    os.chmod(browser, 0o755)
    subprocess.run([*env.wine.launcher, 'wine', 'reg', 'add', 'HKCU\\Software\\Wine\\WineBrowser', '/v', 'Browsers',
                    '/d', browser, '/f'], capture_output=True, timeout=120, stdin=subprocess.DEVNULL, check=True)
    program, driver = env.start()
    driver.must('command', ID.ID_TRAY_REPORT)
    tray_page = os.path.join(env.data, '可用率报告.html')
    wait_for('the tray\'s page to be written', 2 * SOON, lambda: os.path.isfile(tray_page))
    if os.path.isfile(opened):  # Wine's winebrowser hands the page to the stand-in
        with open(opened, encoding='utf-8', errors='replace') as f:
            log(f'the browser was asked to open {f.read()!r}')
    check(driver.must('window')['visible'], 'the window went while the page was made')
    from_tray = PageReader()
    with open(tray_page, encoding='utf-8') as f:
        from_tray.feed(f.read())
    def figures(page_rows):  # all but the last 24 hours, which move on with the clock
        return [r['cells'][:1] + r['cells'][2:5] + r['cells'][6:7] for r in page_rows]
    check(figures(from_tray.rows) == figures(reader.rows),
          'the tray\'s page shows other figures than the console\'s')
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE)
