"""Durability of the stored files: SiteMonitor.exe is started, worked (Start, Stop, close) and
terminated at a random moment, many times over. After every cycle Config.dat is exactly 240 bytes
of a valid record (settings from the lists, notice id 0, softtype 2, the opaque block as seeded)
and site.txt holds one complete list that was written (never a torn mix). Leftover "<name>.tmp"
files, planted on purpose every tenth cycle, are ignored by the next load and gone after the
next save. 20 cycles in the default run, 200 in the soak run; --seed repeats a run."""
import os
import random
import struct
import time

import pytest

from .checks import check, config_summary, log
from .wine import read

CHECK_INTERVALS = [30, 60, 120, 300, 600, 900]
RETRY_COUNTS = [1, 2, 3]
RETRY_INTERVALS = [10, 30, 60, 120, 300]
OPAQUE = bytes((i * 7 + 3) % 256 for i in range(220))
ACTIONS = ['S', 'SX', 'SPX', 'X', 'SP', 'SPSX', '']
MAX_KILL_MS = 2500


def record(check_s, retries, retry_s):
    return struct.pack('<5i', check_s, retries, retry_s, 0, 2) + OPAQUE


def random_list(rng, cycle):
    lines = []
    for j in range(rng.randint(1, 5)):
        path = f'站点{cycle}_{j}' if rng.random() < 0.3 else f'p{cycle}_{j}'
        lines.append(f'http://127.0.0.1:9/{path}')
    return '\r\n'.join(lines)


@pytest.mark.parametrize('cycles', [
    pytest.param(20, marks=pytest.mark.runs_for(25), id='short'),
    pytest.param(200, marks=[pytest.mark.soak, pytest.mark.runs_for(250)], id='soak')])
def test_durability(wine, programs, pytestconfig, cycles):
    seed = pytestconfig.getoption('seed')
    seed = seed if seed is not None else int(time.time())
    rng = random.Random(seed)
    folder = wine.data_folder()
    config_path = os.path.join(folder, 'Config.dat')
    sites_path = os.path.join(folder, 'site.txt')
    os.makedirs(folder, exist_ok=True)
    stored_config = record(60, 3, 30)
    stored_sites = 'http://127.0.0.1:9/seed'
    with open(config_path, 'wb') as f:
        f.write(stored_config)
    with open(sites_path, 'wb') as f:
        f.write(stored_sites.encode('gbk'))
    log(f'durability: {cycles} cycles, seed {seed}, data folder {folder}')

    kills = exits = planted = torn_leftovers = 0
    began = time.monotonic()
    for cycle in range(1, cycles + 1):
        clean = cycle % 10 == 0
        if clean:  # torn leftovers of an interrupted save: must be ignored, then cleaned
            for name in ('site.txt.tmp', 'Config.dat.tmp'):
                with open(os.path.join(folder, name), 'wb') as f:
                    f.write(b'\xff\xfetorn leftover \x00\x01')
            planted += 1
        sites = random_list(rng, cycle)
        positions = (rng.randrange(6), rng.randrange(3), rng.randrange(5))
        actions = 'SX' if clean else rng.choice(ACTIONS)
        kill_ms = -1 if clean or rng.random() < 0.15 else rng.randint(0, MAX_KILL_MS)
        out = wine.tool(programs.tool, 'cycle', programs.program, sites.replace('\r\n', '|'),
                        *positions, actions or '-', kill_ms, timeout=300)
        done = int(out.get('done', 0))
        exit_code = int(out.get('exit_code', -1))
        killed = exit_code == 9
        kills += killed
        exits += exit_code == 2
        context = (f'cycle {cycle} (seed {seed}): actions {actions!r}, kill at {kill_ms} ms, '
                   f'done {done}, exit {exit_code}')

        # What the program loaded is the whole stored list, never a leftover.
        if 'loaded' in out or done > 0:
            check(out.get('loaded', '') == stored_sites.replace('\r\n', '|'),
                  f'{context}: loaded {out.get("loaded")!r}, stored {stored_sites!r}')

        start_done = 'S' in actions[:done]
        close_done = actions[:done].endswith('X')
        new_config = record(CHECK_INTERVALS[positions[0]], RETRY_COUNTS[positions[1]],
                            RETRY_INTERVALS[positions[2]]) if 'S' in actions else stored_config
        config = read(config_path, 'rb')
        check(config is not None and len(config) == 240, f'{context}: Config.dat is {config_summary(config)}')
        if close_done:
            check(config == (new_config if start_done else stored_config),
                  f'{context}: Config.dat {config_summary(config)} after a clean exit')
        else:
            check(config in (stored_config, new_config),
                  f'{context}: Config.dat {config_summary(config)} is no written record')
        raw = read(sites_path, 'rb')
        check(raw is not None, f'{context}: site.txt is missing')
        text = raw.decode('gbk')
        if start_done:
            check(text == sites, f'{context}: site.txt {text!r} after Start of {sites!r}')
        else:
            check(text in (stored_sites, sites) if 'S' in actions else text == stored_sites,
                  f'{context}: site.txt {text!r} is no written list')
        if clean:
            leftovers = [n for n in os.listdir(folder) if n.endswith('.tmp')]
            check(not leftovers, f'{context}: leftovers {leftovers} survived the saves')
        else:
            torn_leftovers += any(n.endswith('.tmp') for n in os.listdir(folder))
        stored_config, stored_sites = config, text
        if cycle % 20 == 0:
            log(f'  {cycle} cycles, {kills} killed, {exits} closed normally, '
                f'{time.monotonic() - began:.0f} s')
    log(f'durability: passed {cycles} cycles in {time.monotonic() - began:.0f} s: {kills} killed, '
        f'{exits} closed normally, {planted} with planted leftovers, {torn_leftovers} cycles left '
        f'a .tmp behind')
