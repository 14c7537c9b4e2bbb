#!/usr/bin/env python3
"""Durability of the stored files: SiteMonitor.exe is started, worked (Start, Stop, close) and
terminated at a random moment, many times over. After every cycle Config.dat is exactly 240 bytes
of a valid record (settings from the lists, notice id 0, softtype 2, the opaque block as seeded)
and site.txt holds one complete list that was written (never a torn mix). Leftover "<name>.tmp"
files, planted on purpose every tenth cycle, are ignored by the next load and gone after the
next save. Runs inside script/lib/wine-env.sh (WINEPREFIX, DISPLAY).

    durability.py --build <windows build> --cycles N [--seed S]"""
import argparse
import getpass
import os
import random
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_process as wp  # noqa: E402

CHECK_INTERVALS = [30, 60, 120, 300, 600, 900]
RETRY_COUNTS = [1, 2, 3]
RETRY_INTERVALS = [10, 30, 60, 120, 300]
OPAQUE = bytes((i * 7 + 3) % 256 for i in range(220))
ACTIONS = ['S', 'SX', 'SPX', 'X', 'SP', 'SPSX', '']


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def data_folder(prefix):
    users = os.path.join(prefix, 'drive_c', 'users')
    user = getpass.getuser()
    if not os.path.isdir(os.path.join(users, user)):
        others = [u for u in os.listdir(users) if u != 'Public']
        check(len(others) == 1, f'cannot tell the Wine user folder among {others}')
        user = others[0]
    return os.path.join(users, user, 'AppData', 'Roaming', 'DorvaneSiteMonitor')


def record(check_s, retries, retry_s):
    return struct.pack('<5i', check_s, retries, retry_s, 0, 2) + OPAQUE


def describe(data):
    if data is None:
        return 'missing'
    return f'{len(data)} bytes {struct.unpack("<5i", data[:20]) if len(data) >= 20 else data!r}'


def read(path):
    try:
        with open(path, 'rb') as f:
            return f.read()
    except FileNotFoundError:
        return None


def random_list(rng, cycle):
    lines = []
    for j in range(rng.randint(1, 5)):
        path = f'站点{cycle}_{j}' if rng.random() < 0.3 else f'p{cycle}_{j}'
        lines.append(f'http://127.0.0.1:9/{path}')
    return '\r\n'.join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--build', required=True)
    parser.add_argument('--cycles', type=int, default=200)
    parser.add_argument('--seed', type=int, default=None)
    parser.add_argument('--max-kill-ms', type=int, default=2500)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else int(time.time())
    rng = random.Random(seed)
    build = os.path.abspath(args.build)
    exe = os.path.join(build, 'SiteMonitor.exe')
    tool_exe = os.path.join(build, 'tests', 'reliability', 'sitemon_reliability_tool.exe')
    wp.keep_notice_local(build)
    folder = data_folder(os.environ['WINEPREFIX'])
    config_path = os.path.join(folder, 'Config.dat')
    sites_path = os.path.join(folder, 'site.txt')
    os.makedirs(folder, exist_ok=True)
    kept = {name: read(os.path.join(folder, name)) for name in os.listdir(folder)
            if os.path.isfile(os.path.join(folder, name))}
    try:
        return run_cycles(args, rng, seed, exe, tool_exe, folder, config_path, sites_path)
    finally:  # the data folder as it was found, for whatever runs next in this prefix
        for name in os.listdir(folder):
            if os.path.isfile(os.path.join(folder, name)) and name not in kept:
                os.remove(os.path.join(folder, name))
        for name, data in kept.items():
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(data)


def run_cycles(args, rng, seed, exe, tool_exe, folder, config_path, sites_path):
    for name in os.listdir(folder):
        if name.endswith('.tmp'):
            os.remove(os.path.join(folder, name))
    stored_config = record(60, 3, 30)
    stored_sites = 'http://127.0.0.1:9/seed'
    with open(config_path, 'wb') as f:
        f.write(stored_config)
    with open(sites_path, 'wb') as f:
        f.write(stored_sites.encode('gbk'))
    print(f'durability: {args.cycles} cycles, seed {seed}, data folder {folder}', flush=True)

    kills = exits = planted = torn_leftovers = 0
    began = time.monotonic()
    for cycle in range(1, args.cycles + 1):
        clean = cycle % 10 == 0
        if clean:  # torn leftovers of an interrupted save: must be ignored, then cleaned
            for name in ('site.txt.tmp', 'Config.dat.tmp'):
                with open(os.path.join(folder, name), 'wb') as f:
                    f.write(b'\xff\xfetorn leftover \x00\x01')
            planted += 1
        sites = random_list(rng, cycle)
        positions = (rng.randrange(6), rng.randrange(3), rng.randrange(5))
        actions = 'SX' if clean else rng.choice(ACTIONS)
        kill_ms = -1 if clean or rng.random() < 0.15 else rng.randint(0, args.max_kill_ms)
        out = wp.tool(tool_exe, 'cycle', exe, sites.replace('\r\n', '|'), *positions, actions or '-', kill_ms,
                      timeout=120)
        done = int(out.get('done', 0))
        exit_code = int(out.get('exit_code', -1))
        killed = exit_code == 9
        kills += killed
        exits += exit_code == 2
        context = f'cycle {cycle} (seed {seed}): actions {actions!r}, kill at {kill_ms} ms, done {done}, exit {exit_code}'

        # What the program loaded is the whole stored list, never a leftover.
        if 'loaded' in out or done > 0:
            check(out.get('loaded', '') == stored_sites.replace('\r\n', '|'),
                  f'{context}: loaded {out.get("loaded")!r}, stored {stored_sites!r}')

        start_done = 'S' in actions[:done]
        close_done = actions[:done].endswith('X')
        new_config = record(CHECK_INTERVALS[positions[0]], RETRY_COUNTS[positions[1]],
                            RETRY_INTERVALS[positions[2]]) if 'S' in actions else stored_config
        config = read(config_path)
        check(config is not None and len(config) == 240, f'{context}: Config.dat is {describe(config)}')
        if close_done:
            check(config == (new_config if start_done else stored_config),
                  f'{context}: Config.dat {describe(config)} after a clean exit')
        else:
            check(config in (stored_config, new_config), f'{context}: Config.dat {describe(config)} is no written record')
        raw = read(sites_path)
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
            print(f'  {cycle} cycles, {kills} killed, {exits} closed normally, {time.monotonic() - began:.0f} s',
                  flush=True)
    print(f'durability: passed {args.cycles} cycles in {time.monotonic() - began:.0f} s: {kills} killed, '
          f'{exits} closed normally, {planted} with planted leftovers, {torn_leftovers} cycles left a .tmp behind')
    return 0


if __name__ == '__main__':
    try:
        sys.exit(main())
    except (Failure, wp.ToolError) as failure:
        print(f'durability: FAILED: {failure}')
        sys.exit(1)
