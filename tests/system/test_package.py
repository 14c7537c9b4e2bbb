"""The release zip as a user gets it: packed from this build's programs by script/dist's own
packing function, read as Windows reads the programs' properties, then unpacked into a fresh
Wine prefix and run from there."""
import hashlib
import os
import re
import select
import signal
import subprocess
import time
import zipfile
from pathlib import Path

import pytest

from .checks import CLOSE_BUTTON, EXIT_BY_CLOSE, REPO, TITLE, TITLE_LINE, check
from .wine import package


PROGRAMS = ('SiteMonitor.exe', 'SiteMonitorConsole.exe')


def string_table():
    """Strings 130 (the name) and 131 (the version) as res/sitemonitor.rc writes them."""
    script = (REPO / 'res' / 'sitemonitor.rc').read_text(encoding='utf-8')
    name = re.search(r'IDS_APP_NAME\s+"([^"]+)"', script).group(1)
    version = re.search(r'IDS_VERSION\s+"([^"]+)"', script).group(1)
    return name, version


@pytest.fixture(scope='module')
def release(build, tmp_path_factory):
    """The zip packed from the build's programs, its entries by name and its release time."""
    when = package.release_time(source_export=True)
    path = package.pack(build, tmp_path_factory.mktemp('dist'), when)
    with zipfile.ZipFile(path) as archive:
        return path, archive.infolist(), {i.filename: archive.read(i) for i in archive.infolist()}, when


def test_release_zip(release, build):
    """Name and entries, the sums, dates and modes; each program's version resource (what the
    file's properties show), no link time stamp and no folder of this build in its bytes."""
    import pefile  # Debian's python3-pefile (script/bootstrap); only this test needs it
    path, infos, files, when = release
    name, version = string_table()
    check(path.name == f'SiteMonitor-{version}-win64.zip', f'zip named {path.name}')
    names = [i.filename for i in infos]
    check(names == [*PROGRAMS, 'README.txt', 'SHA256SUMS'], f'zip holds {names}')
    date = time.gmtime(when)[:5]
    for info in infos:
        check(info.date_time[:5] == date and info.external_attr >> 16 == 0o100644,
              f'{info.filename}: dated {info.date_time}, mode {info.external_attr >> 16:o}; '
              f'expected {date} and 100644')
    for program in PROGRAMS:
        check(files[program] == Path(build, program).read_bytes(),
              f'the zip\'s {program} is not the one built in {build}')
    sums = files['SHA256SUMS'].decode().splitlines()
    expected = [f'{hashlib.sha256(files[p]).hexdigest()}  {p}' for p in PROGRAMS]
    check(sums == expected, f'SHA256SUMS reads {sums}, expected {expected}')
    readme = files['README.txt']
    check(readme.startswith(b'\xef\xbb\xbf') and b'\n' not in readme.replace(b'\r\n', b''),
          'README.txt is not UTF-8 with a byte-order mark and CR LF line ends')
    check(version in readme.decode('utf-8-sig') and 'DorvaneSiteMonitor' in readme.decode('utf-8-sig'),
          'README.txt does not give the version and the data folder')

    folders = {os.path.realpath(REPO), os.path.realpath(build)}
    for program in PROGRAMS:
        image = pefile.PE(data=files[program])
        check(image.FILE_HEADER.TimeDateStamp == 0,
              f'{program}: link time stamp {image.FILE_HEADER.TimeDateStamp}')
        fixed = image.VS_FIXEDFILEINFO[0]
        numbers = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xffff,
                   fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xffff)
        check('.'.join(map(str, numbers)) == version, f'{program}: file version {numbers}')
        tables = [table for info in image.FileInfo[0] if info.Key == b'StringFileInfo'
                  for table in info.StringTable]
        check(len(tables) == 1 and tables[0].LangID == b'080404b0',
              f'{program}: string tables {[t.LangID for t in tables]}, expected one 080404b0')
        values = {k.decode(): v.decode() for k, v in tables[0].entries.items()}
        check(values.get('CompanyName') == 'Dorvane' and values.get('ProductName') == name
              and values.get('FileVersion') == version == values.get('ProductVersion')
              and values.get('OriginalFilename') == program
              and values.get('FileDescription', '').startswith(name),
              f'{program}: version resource {values}')
        for folder in folders:
            for encoding in ('utf-8', 'utf-16-le'):
                check(folder.encode(encoding) not in files[program],
                      f'{program} holds the build path {folder} ({encoding})')


def user_folder(wine):
    """The prefix's user folder (the parent of its AppData), where a download lands."""
    return os.path.dirname(os.path.dirname(os.path.dirname(wine.data_folder())))


@pytest.mark.runs_for(60)
def test_packaged_programs_run(release, env, wine, loopback):
    """Unpacked into the user's Downloads folder of a fresh prefix: the window comes up with its
    title line and ends with 2 on "×"; the console program probes a loopback site once and
    ends with 0 on Ctrl+C."""
    folder = os.path.join(user_folder(wine), 'Downloads', 'SiteMonitor')
    with zipfile.ZipFile(release[0]) as archive:
        archive.extractall(folder)
    program, driver = env.start(exe=os.path.join(folder, 'SiteMonitor.exe'))
    check(driver.text(TITLE) == TITLE_LINE, f'title line reads {driver.text(TITLE)!r}')
    driver.must('click', CLOSE_BUTTON)
    program.check_exit(EXIT_BY_CLOSE)

    site = loopback().url('/ok')
    console = subprocess.Popen(
        [*wine.launcher, 'wine', os.path.join(folder, 'SiteMonitorConsole.exe'), '--interval', '30',
         '--retries', '1', '--retry-interval', '10', site],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        output, deadline = b'', time.monotonic() + 60
        while f' {site} 访问正常\r\n'.encode() not in output:
            left = deadline - time.monotonic()
            check(left > 0 and select.select([console.stdout], [], [], left)[0],
                  f'no probe report within 60 s: {output.decode(errors="replace")!r}')
            chunk = os.read(console.stdout.fileno(), 4096)
            check(chunk, f'the console program ended: {output!r}')
            output += chunk
        console.send_signal(signal.SIGINT)
        rest, errors = console.communicate(timeout=30)
        lines = (output + rest).decode('utf-8', errors='replace').splitlines()
        check(console.returncode == 0 and lines[-1].endswith(' 监控停止!'),
              f'after Ctrl+C: exit {console.returncode}, output {lines}, errors {errors!r}')
    finally:
        if console.poll() is None:
            console.kill()
            console.wait()
