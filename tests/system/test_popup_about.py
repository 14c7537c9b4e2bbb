"""Scenario of the popup's own controls, the about box and the tray menu's commands, and the
longest popup: an unreachable site's report, shown for 60 s."""

import pytest

from .checks import (CHECK_LIST, EDIT, EXIT_BY_CLOSE, MINIMISE, RETRY_COUNT_LIST,
                     RETRY_INTERVAL_LIST, SOON, START, STOP, TRAY_ABOUT, TRAY_SHOW, check, check_tooltip,
                     log, wait_for, wait_window_back)
from .driver import PopupWatch, centre, click_at, mouse_drag
from .servers import Answer, refused_port

STARTED = '监控开始运行...'
UNREACHABLE = '不能访问网站，可能本机不能上网，或网站故障'
ABOUT_FIRST_LINE = 'Corvell网站监控 v1.1.0.0'


def blank_start(driver):
    """Starts a run without sites (its only effect here: the start popup) and returns the
    popup's state once it is shown. (Start leaves the editor empty: blanks go in each time.)"""
    driver.must('set-text', EDIT, ' ')
    driver.must('click', START)
    shown = driver.call('wait-popup', 1, SOON * 1000)
    check(shown.get('ok'), f'no start popup; popup {shown}, log {driver.rows()[:3]}, '
                           f'Start enabled: {driver.enabled(START)}')
    check(shown['text'] == STARTED, f'start popup reads {shown["text"]!r}')
    return shown


def stop(driver):
    count = sum(1 for r in driver.rows() if r.endswith('监控停止!'))
    driver.must('click', STOP)
    driver.wait_rows('监控停止!', count + 1, 10)
    wait_for('Start to be enabled', SOON, lambda: driver.enabled(START))


def in_corner(state):
    return state['rect'][2] == state['work'][2] and state['rect'][3] == state['work'][3]


def popup_controls(driver):
    """"确定" hides at once; a dragged popup comes back to the corner at the next show; Alt+F4
    destroys the popup and the next notification creates a fresh one that works as before."""
    shown = blank_start(driver)
    click_at(centre(shown['ok_rect']))  # that it hides at once: the popup's own test
    driver.must('wait-popup', 0, SOON * 1000)
    stop(driver)

    shown = blank_start(driver)
    check(in_corner(shown), f'popup at {shown["rect"]}, not in the corner of {shown["work"]}')
    left, top = shown['rect'][0], shown['rect'][1]
    mouse_drag((left + 6, top + 6), (-300, -200))
    # While the drag's move loop runs the popup may not answer for its texts: not yet moved.
    moved = wait_for('the popup to be dragged', SOON, lambda: (lambda p: p if p.get('ok') and
                     p['visible'] and p['rect'][:2] == [left - 300, top - 200] else None)(
                         driver.call('popup')))
    check(not in_corner(moved), f'the dragged popup is still in the corner: {moved}')
    driver.must('wait-popup', 0, SOON * 1000)  # its 3 seconds run out where it was dragged
    stop(driver)
    shown = blank_start(driver)
    check(in_corner(shown), f'the next popup is not back in the corner: {shown}')

    closed = shown['hwnd']
    driver.must('popup-close')
    # A window being destroyed may still be found, without answering for its texts.
    wait_for('Alt+F4 to destroy the popup', 5,
             lambda: (lambda p: p.get('ok') and not p['found'])(driver.call('popup')))
    stop(driver)  # its hide request makes a fresh, hidden popup
    shown = blank_start(driver)
    check(shown['hwnd'] != closed, 'the popup after Alt+F4 is the destroyed window')
    check(in_corner(shown) and shown['topmost'], f'the fresh popup is not placed as usual: {shown}')
    driver.must('wait-popup', 0, SOON * 1000)
    stop(driver)


def about_box_and_tray_menu(driver):
    """The about box from the tray menu command: its text, Escape closes it; with the window
    hidden it is centred on the work area and a click on its text closes it; "显示窗口" brings the
    hidden window back where it was."""
    driver.must('command', TRAY_ABOUT)
    about = driver.must('wait-about', 1, SOON * 1000)
    first = about['text'].replace('\r\n', '\n').split('\n')[0]
    check(first == ABOUT_FIRST_LINE, f'about box first line {first!r}')
    left, top, right, bottom = about['rect']
    wl, wt, wr, wb = about['work']
    check(wl <= left and wt <= top and right <= wr and bottom <= wb,
          f'about box {about["rect"]} not inside the work area {about["work"]}')
    driver.must('about-escape')
    driver.must('wait-about', 0, SOON * 1000)

    before = driver.must('window')['rect']
    driver.must('click', MINIMISE)
    wait_for('the window to hide', SOON, lambda: not driver.must('window')['visible'])
    driver.must('command', TRAY_ABOUT)
    about = driver.must('wait-about', 1, SOON * 1000)
    (left, top, right, bottom), (wl, wt, wr, wb) = about['rect'], about['work']
    check(abs((left + right) - (wl + wr)) <= 2 and abs((top + bottom) - (wt + wb)) <= 2,
          f'with the window hidden, the about box {about["rect"]} is not centred on {about["work"]}')
    click_at(centre(about['text_rect']))
    driver.must('wait-about', 0, SOON * 1000)

    driver.must('command', TRAY_SHOW)
    state = wait_window_back(driver, '"显示窗口" to bring the window back')
    check(state['rect'] == before, f'the window came back at {state["rect"]}, not {before}')


@pytest.mark.runs_for(105)
def test_popup_controls_and_about(env, loopback):
    """The popup's "确定", dragging and Alt+F4 on blank runs; then a run with a refused site,
    whose status 22 row pops up for 60 s, during which the about box and the tray menu's
    commands are used, the window is hidden (the popup stays up all the same), and the site,
    now answering 600, is logged without a popup."""
    env.fresh_data_folder()
    program, driver = env.start()
    popup_controls(driver)

    port = refused_port()
    refused = f'http://127.0.0.1:{port}/'
    driver.must('set-text', EDIT, refused)
    for control in (CHECK_LIST, RETRY_COUNT_LIST, RETRY_INTERVAL_LIST):
        driver.must('combo-set', control, 0)
    watch = PopupWatch(env)
    driver.must('click', START)
    rows = driver.wait_rows(f'{refused} {UNREACHABLE}', 1, 38 + SOON)
    check_tooltip(driver, UNREACHABLE)
    row = next(r for r in rows if r.endswith(f'{refused} {UNREACHABLE}'))
    stay = watch.stay_of(row, SOON)
    # From now on the port answers 600, which is logged without a popup: the next report of
    # the site cannot cut the 60 seconds short.
    sites = loopback(port=port)
    sites.set('', Answer.status(600, 'Beyond'))
    about_box_and_tray_menu(driver)
    check(stay.until is None, f'the 60-second popup went early: {stay}')
    driver.must('click', MINIMISE)
    wait_for('the window to hide', SOON, lambda: not driver.must('window')['visible'])
    check(driver.must('popup')['visible'], 'the popup went when the window was hidden')
    driver.wait_rows(f'{refused} http未知状态', 1, 30 + SOON)
    check(stay.until is None, f'the status 600 report ended the popup: {stay}')
    check_tooltip(driver, 'http未知状态')
    watch.wait_ended(stay, 60 + SOON)
    stays = watch.finish()
    log(f'popup stays {stays}')
    # It outlived the next report; its 60 seconds are the popup's own count (its test).
    check(stay.ended == 'hidden', f'the status 22 popup was {stay.ended}: {stays}')
    check(stays[-1] is stay, f'another popup came after the status 22 popup: {stays}')
    driver.must('tray-click')
    wait_for('the window to come back', SOON, lambda: driver.must('window')['visible'])
    driver.must('close')
    program.check_exit(EXIT_BY_CLOSE)
