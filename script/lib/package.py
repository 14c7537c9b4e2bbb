#!/usr/bin/env python3
"""Packs the release zip from the programs of a Windows build: SiteMonitor-<version>-win64.zip
with SiteMonitor.exe, SiteMonitorConsole.exe, README.txt and SHA256SUMS (the two programs'),
and beside it SHA256SUMS of the zip. script/dist and the packaged-program test call this one
function, so the zip that is tested is packed as the released one.

The zip is the same bytes for the same programs: entries in a fixed order, fixed modes, and
every entry dated at the release time (the commit's time; see release_time).

    package.py <build-dir> <out-dir> [<release-time>]   prints the zip's path
"""
import hashlib
import os
import subprocess
import sys
import time
import zipfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
README = REPO / 'res' / 'release-readme.txt'
PROGRAMS = ('SiteMonitor.exe', 'SiteMonitorConsole.exe')


class PackError(Exception):
    pass


def build_setting(build, name):
    """A value from the build's CMake cache (the version: SITEMON_VERSION, which the build read
    from the string table of res/sitemonitor.rc)."""
    with open(Path(build) / 'CMakeCache.txt', encoding='utf-8') as cache:
        for line in cache:
            if line.startswith(name + ':'):
                return line.rstrip('\n').split('=', 1)[1]
    raise PackError(f'{name} is not in {build}/CMakeCache.txt: configure the Windows build again')


def release_time(repo=REPO, source_export=False):
    """Seconds since 1970 to date the entries with: SOURCE_DATE_EPOCH when set, else the time of
    the checked-out commit. A copy of the source without git history (a source archive) has no
    commit: with `source_export` (the tests), its newest source file's modification time stands
    in, which for `git archive` is the commit's time. A release (script/dist) needs one of the
    first two."""
    if os.environ.get('SOURCE_DATE_EPOCH'):
        return int(os.environ['SOURCE_DATE_EPOCH'])
    found = subprocess.run(['git', '-C', str(repo), 'log', '-1', '--format=%ct'],
                           capture_output=True, text=True)
    if found.returncode == 0 and found.stdout.strip():
        return int(found.stdout)
    if source_export:
        newest = 0
        for folder, subfolders, files in os.walk(repo):
            subfolders[:] = [f for f in subfolders if f not in ('build', 'dist', '.git')]
            newest = max([newest, *(os.stat(os.path.join(folder, f)).st_mtime for f in files)])
        return int(newest)
    raise PackError(f'no commit time in {repo} (set SOURCE_DATE_EPOCH): {found.stderr.strip()}')


def sums(files):
    """sha256sum's format: the hex digest, two blanks, the name; LF line ends."""
    return ''.join(f'{hashlib.sha256(data).hexdigest()}  {name}\n' for name, data in files).encode()


def readme(version):
    """The users' read-me: UTF-8 with a byte-order mark and CR LF, as Notepad reads it best."""
    text = README.read_text(encoding='utf-8').replace('@SITEMON_VERSION@', version)
    return b'\xef\xbb\xbf' + text.replace('\r\n', '\n').replace('\n', '\r\n').encode('utf-8')


def pack(build, out, when):
    """Writes <out>/SiteMonitor-<version>-win64.zip and <out>/SHA256SUMS; returns the zip's path."""
    build, out = Path(build), Path(out)
    version = build_setting(build, 'SITEMON_VERSION')
    programs = []
    for name in PROGRAMS:
        path = build / name
        if not path.is_file():
            raise PackError(f'{path} has not been built')
        programs.append((name, path.read_bytes()))
    entries = programs + [('README.txt', readme(version)), ('SHA256SUMS', sums(programs))]

    # A zip's dates are local times without a zone, from 1980 on: the UTC time is written.
    date = time.gmtime(max(when, 315532800))[:6]
    out.mkdir(parents=True, exist_ok=True)
    target = out / f'SiteMonitor-{version}-win64.zip'
    partial = target.with_name(target.name + '.partial')
    with zipfile.ZipFile(partial, 'w') as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date)
            info.create_system = 3  # Unix, so that the mode below is read
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)
    os.replace(partial, target)
    (out / 'SHA256SUMS').write_bytes(sums([(target.name, target.read_bytes())]))
    return target


def main(argv):
    if len(argv) not in (3, 4):
        print(__doc__.rsplit('\n\n', 1)[1].strip(), file=sys.stderr)
        return 2
    try:
        when = int(argv[3]) if len(argv) == 4 else release_time()
        print(pack(argv[1], argv[2], when))
    except (PackError, OSError) as error:
        print(f'package.py: {error}', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
