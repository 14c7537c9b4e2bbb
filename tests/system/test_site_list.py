"""Scenario of the site list and the settings as Start takes them: the editor's text normalised
into sites, the editor and site.txt afterwards, every typed site kept and given a worker however
long the text, and the settings of the run carried into Config.dat whatever the lists show later."""
import os

from .checks import (CHECK_LIST, EDIT, EXIT_BY_CLOSE, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST,
                     SOON, START, STOP, check, check_buttons, check_row, count_rows)

BLANKS = ' \u3000'


def normalised(text):
    """The site list as the program makes it: lines end at CR LF (a lone CR or LF is part of its
    line), blanks and ideographic blanks trimmed at both ends, empty lines dropped."""
    return [line.strip(BLANKS) for line in text.split('\r\n') if line.strip(BLANKS)]


def start_and_check(env, driver, text, sites):
    """Start with `text` in the editor; the run has `sites` (in order), the editor and site.txt
    hold them joined by CR LF."""
    driver.must('set-text', EDIT, text)
    rows = driver.rows()
    before, runs = len(rows), count_rows(rows, '监控开始运行')
    driver.must('click', START)
    rows = driver.wait_rows('监控开始运行', runs + 1, 10)
    new = rows[:len(rows) - before]
    expected = ['监控开始运行'] + [f'线程[{n}]启动' for n in range(len(sites), 0, -1)]
    check(len(new) == len(expected), f'expected {len(expected)} rows after Start, got {new}')
    for row, want in zip(new, expected):
        check_row(row, want)
    joined = '\r\n'.join(sites)
    shown = driver.text(EDIT)
    check(shown == joined, f'the editor holds {shown!r}, expected {joined!r}')
    stored = open(env.sites_path, 'rb').read()
    check(stored == joined.encode('gbk'), f'site.txt holds {stored!r}, expected {joined!r}')
    check_buttons(driver, False, True)
    return joined


def test_site_list_and_settings(env):
    """Blanks and ideographic blanks around addresses, an empty line and a trailing CR LF go; a
    TAB and a lone LF stay inside their site; a repeated address is two sites. 50 addresses
    typed (about 1400 characters) are all kept and each gets its worker. The run's settings
    ("15分钟", "1次", "10秒": no probe in this scenario) reach Config.dat at exit even though
    the lists were changed during the run, and come back at the next start."""
    env.fresh_data_folder()
    program, driver = env.start()
    for control, index, text in ((CHECK_LIST, 5, '15分钟'), (RETRY_COUNT_LIST, 0, '1次'),
                                 (RETRY_INTERVAL_LIST, 0, '10秒')):
        driver.must('combo-set', control, index)
        check(driver.combo(control)['text'] == text, f'list {control} did not take {text!r}')

    # 50 addresses after 24 leading blanks of both kinds, the last without its CR LF: every one
    # is a site, as typed, and every worker runs (each one's end row comes from its own thread).
    long_text = ' \u3000' * 12 + '\r\n'.join(f'http://127.0.0.1:9/site-{n:04d}' for n in range(50))
    check(len(long_text) > 1400, 'the long text is shorter than meant')
    sites = normalised(long_text)
    check(len(sites) == 50, f'unexpected sites of the long text: {len(sites)}')
    start_and_check(env, driver, long_text, sites)
    driver.must('click', STOP)
    rows = driver.wait_rows('监控停止!', 1, SOON)
    ended = [n for n in range(1, 51) if count_rows(rows, f'[{n}]线程退出') == 1]
    check(len(ended) == 50, f'{50 - len(ended)} of the 50 workers did not end once: {rows[:60]}')

    a, b, c = 'http://127.0.0.1:9/一', 'http://127.0.0.1:9/b', 'http://127.0.0.1:9/c'
    typed = f'  {a}  \r\n\r\n\u3000{b}\r\n\t{c}\r\n{b}\n{c}\r\n\u3000 {a}\u3000\r\n'
    sites = [a, b, f'\t{c}', f'{b}\n{c}', a]
    check(normalised(typed) == sites, 'the typed list does not normalise as meant')
    joined = start_and_check(env, driver, typed, sites)

    # Changed during the run, the lists and the editor change nothing of it.
    for control, index in ((CHECK_LIST, 0), (RETRY_COUNT_LIST, 2), (RETRY_INTERVAL_LIST, 4)):
        driver.must('combo-set', control, index)
    driver.must('set-text', EDIT, 'http://127.0.0.1:9/typed-during-the-run')
    check(open(env.sites_path, 'rb').read() == joined.encode('gbk'),
          'site.txt changed during the run')
    # Leaving during the run saves the run's settings, not what the lists show now.
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE)
    env.check_config((900, 1, 10, 0, 2))
    check(open(env.sites_path, 'rb').read() == joined.encode('gbk'), 'site.txt changed at exit')
    driver.close()

    program, driver = env.start()
    for control, text in ((CHECK_LIST, '15分钟'), (RETRY_COUNT_LIST, '1次'),
                          (RETRY_INTERVAL_LIST, '10秒')):
        check(driver.combo(control)['text'] == text, f'list {control} does not show {text!r}')
    check(driver.text(EDIT) == joined, f'the editor holds {driver.text(EDIT)!r}')
    check(os.path.getsize(env.sites_path) == len(joined.encode('gbk')), 'site.txt was rewritten')
    driver.must('escape')
    program.check_exit(EXIT_BY_CLOSE)
