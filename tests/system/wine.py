"""Wine on this machine: one template prefix per test run and a copy of it per test, a virtual
display and a network namespace per test, programs started with wine, and the Linux side of a
Windows process (/proc). How a prefix is prepared is script/lib/wine-env.sh's: its steps are
called from here, not repeated."""
import contextlib
import ctypes
import fcntl
import importlib.util
import json
import os
import re
import shutil
import subprocess
import tempfile
import time

from .checks import REPO, SOON, Failure, check

WINE_ENV = REPO / 'script' / 'lib' / 'wine-env.sh'
# Folders of a build that hold no build output: Wine prefixes and the tests' copies of programs
# (e2e-network: where earlier end-to-end runs copied the program).
NOT_OUTPUT = {'CMakeFiles', 'wineprefix', 'system-tests', 'e2e-artifacts', 'e2e-network'}
TEMPLATE_SETTINGS = 'template-environment.json'


class ToolError(Failure):
    pass


def find_built(build, name):
    """The newest file called `name` that the build produced, wherever its target puts it."""
    found = []
    for folder, subfolders, files in os.walk(build):
        subfolders[:] = [s for s in subfolders if s not in NOT_OUTPUT]
        if name in files:
            found.append(os.path.join(folder, name))
    check(found, f'{name} has not been built in {build}')
    return max(found, key=os.path.getmtime)


# script/lib/package.py: the release zip's packing, and the build's settings (its CMake cache).
loader_source = importlib.util.spec_from_file_location('package', REPO / 'script' / 'lib' / 'package.py')
package = importlib.util.module_from_spec(loader_source)
loader_source.loader.exec_module(package)
build_setting = package.build_setting


CA_BUNDLE = '/etc/ssl/certs/ca-certificates.crt'


def hosts_launcher(build, folder, names=(), ca_bundle=None):
    """The program asks its notice host at start-up. When the build names a host (not an
    address), every Wine command of the tests runs in a mount namespace of its own whose
    /etc/hosts maps that host to 127.0.0.1 (WinINet resolves names through it, in the process
    that asks), so no request or name lookup leaves the machine. A test may map more `names`
    there, and put `ca_bundle` (the system's bundle with its own test authority appended) over
    the bundle against which Wine checks certificate chains; nothing changes outside that
    namespace. Returns the command prefix (empty when there is nothing to map); needs root."""
    host = build_setting(build, 'SITEMON_NOTICE_HOST')
    names = [*names] + ([] if re.fullmatch(r'[\d.]+', host) else [host])
    if not names and not ca_bundle:
        return []
    hosts = os.path.join(folder, 'hosts')
    with open(hosts, 'w', encoding='ascii') as f:
        f.write('127.0.0.1 localhost\n' + ''.join(f'127.0.0.1 {name}\n' for name in names))
    script, args = 'mount --bind "$0" /etc/hosts', [hosts]
    if ca_bundle:
        script += f' && mount --bind "$1" {CA_BUNDLE} && shift'
        args.append(ca_bundle)
    launcher = ['unshare', '--mount', 'sh', '-c', script + ' && exec "$@"', *args]
    trial = subprocess.run(launcher + ['true'], capture_output=True, timeout=30)
    check(trial.returncode == 0, 'cannot map the test hosts in a mount namespace of its own '
                                 f'(needs root): {trial.stderr.decode(errors="replace")}')
    return launcher


@contextlib.contextmanager
def run_folder(top, run):
    """This test run's folder under `top` (its template prefix, its tests' prefixes), held for
    the run by a shared lock on <run>.lock. As a run begins, the folders of runs that no process
    holds any longer (the prefixes of an earlier run's failed tests) are removed; the last
    process of a run to let go removes the run's template."""
    def unheld(lock_name):
        """True when no process holds the run of that lock file (checked under the guard)."""
        with open(os.path.join(top, lock_name)) as lock:
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return True
            except BlockingIOError:
                return False

    os.makedirs(top, exist_ok=True)
    folder = os.path.join(top, run)
    with open(os.path.join(top, 'runs.lock'), 'w') as guard:
        fcntl.flock(guard, fcntl.LOCK_EX)
        held = open(os.path.join(top, run + '.lock'), 'w')
        fcntl.flock(held, fcntl.LOCK_SH)
        for name in os.listdir(top):
            if name.endswith('.lock') and name not in ('runs.lock', run + '.lock') and unheld(name):
                shutil.rmtree(os.path.join(top, name[:-len('.lock')]), ignore_errors=True)
                os.remove(os.path.join(top, name))
        os.makedirs(folder, exist_ok=True)
    try:
        yield folder
    finally:
        with open(os.path.join(top, 'runs.lock'), 'w') as guard:
            fcntl.flock(guard, fcntl.LOCK_EX)
            held.close()
            if unheld(run + '.lock'):
                if os.path.exists(os.path.join(folder, TEMPLATE_SETTINGS)):
                    os.remove(os.path.join(folder, TEMPLATE_SETTINGS))
                shutil.rmtree(os.path.join(folder, 'template'), ignore_errors=True)


def template_prefix(folder):
    """The run's template prefix, <folder>/template/wineprefix, made by wine-env.sh's steps: the
    first worker to come makes it, the others wait on the lock. Returns the environment those
    steps set up: {'set': {name: value}, 'unset': [names]}."""
    template = os.path.join(folder, 'template')
    settings = os.path.join(folder, TEMPLATE_SETTINGS)
    with open(os.path.join(folder, 'template.lock'), 'w') as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(settings):
            with open(settings, encoding='utf-8') as f:
                return json.load(f)
        os.makedirs(template)
        outside = {k: v for k, v in os.environ.items() if k != 'DISPLAY'}
        made = subprocess.run(
            ['bash', '-c', '. "$0" && wine_env_vars "$1" && wine_prefix_prepare >/dev/null && env -0',
             str(WINE_ENV), template], env=outside, stdin=subprocess.DEVNULL, capture_output=True,
            timeout=600)
        check(made.returncode == 0, f'making the template prefix failed: {made.stderr[-2000:]!r}')
        inside = dict(item.split('=', 1) for item in made.stdout.decode().split('\0') if '=' in item)
        shell_own = {'_', 'SHLVL', 'PWD', 'OLDPWD'}
        made = {'set': {k: v for k, v in inside.items() if outside.get(k) != v and k not in shell_own},
                'unset': [k for k in outside if k not in inside and k not in shell_own]}
        check(os.path.isfile(os.path.join(made['set']['WINEPREFIX'], '.sitemon-ready')),
              'wine-env.sh did not make the template prefix')
        with open(settings + '.new', 'w', encoding='utf-8') as f:
            json.dump(made, f)
        os.replace(settings + '.new', settings)
        return made


def copy_prefix(template, target):
    """A prefix of its own for one test: the template's files copied, its modules hard-linked
    (wine-env.sh's wine_prefix_copy, which the Windows test programs' wrapper uses too)."""
    copied = subprocess.run(['bash', '-c', '. "$0" && wine_prefix_copy "$1" "$2"', str(WINE_ENV),
                             template, target], stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=120)
    check(copied.returncode == 0, f'copying the template prefix failed: {copied.stderr[-2000:]!r}')


def private_network():
    """Moves the thread that runs the tests, and with it every process and socket it makes from
    now on, into a network namespace of its own: its own 127.0.0.1, so tests side by side never
    see each other's servers (the notice service's fixed port above all) and nothing can leave
    the machine. A pair of linked virtual interfaces stands for a network adapter that is up,
    which is what Wine's InternetGetConnectedState looks for."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(0x40000000) != 0:  # CLONE_NEWNET
        raise Failure(f'cannot make a network namespace (needs root): {os.strerror(ctypes.get_errno())}')
    for command in (['ip', 'link', 'set', 'lo', 'up'],
                    ['ip', 'link', 'add', 'sitemon0', 'type', 'veth', 'peer', 'name', 'sitemon1'],
                    ['ip', 'link', 'set', 'sitemon0', 'up'], ['ip', 'link', 'set', 'sitemon1', 'up']):
        subprocess.run(command, check=True, capture_output=True, timeout=30)


class Display:
    """A virtual X display of its own, started by wine-env.sh's xvfb_start (the one way the
    scripts and the tests start one); Xvfb outlives the shell that started it until close()."""

    def __init__(self):
        outside = {k: v for k, v in os.environ.items() if k != 'WINEPREFIX'}
        started = subprocess.run(['bash', '-c', '. "$0" && xvfb_start && echo "$DISPLAY $SITEMON_XVFB_PID"',
                                  str(WINE_ENV)], env=outside, stdin=subprocess.DEVNULL,
                                 capture_output=True, timeout=300)
        check(started.returncode == 0, f'no virtual display: {started.stderr.decode(errors="replace")}')
        self.name, pid = started.stdout.decode().split()
        self.pid = int(pid)

    def close(self, grace=10):
        """Ends Xvfb (no longer a child of ours: gone once it is no process or a zombie)."""
        def gone():
            state = read(f'/proc/{self.pid}/stat')
            return state is None or state.rsplit(')', 1)[1].split()[0] == 'Z'
        for signal, wait in ((15, grace), (9, grace)):
            if not gone():
                with contextlib.suppress(ProcessLookupError):
                    os.kill(self.pid, signal)
            deadline = time.monotonic() + wait
            while not gone() and time.monotonic() < deadline:
                time.sleep(0.05)  # poll interval, bounded by the deadline above


def end_process(proc, grace=10):
    """Asks a child process to end and kills it when it has not ended within grace seconds."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(grace)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


class Wine:
    """One test's Wine: its own prefix (a copy of the run's template), display and network, set
    in this process's environment for the test's length, so every `wine` it starts uses them."""

    def __init__(self, template, folder, launcher):
        self.template, self.folder, self.launcher = template, folder, launcher
        self.prefix = os.path.join(folder, 'wineprefix')
        self.display = None

    def open(self, monkeypatch):
        private_network()
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        copy_prefix(self.template['set']['WINEPREFIX'], self.prefix)
        self.display = Display()
        for name, value in self.template['set'].items():
            monkeypatch.setenv(name, value)
        for name in self.template['unset']:
            monkeypatch.delenv(name, raising=False)
        monkeypatch.setenv('WINEPREFIX', self.prefix)
        monkeypatch.setenv('DISPLAY', self.display.name)
        # No pipes of ours: the services would hold them open for their whole life.
        started = subprocess.run(['bash', '-c', '. "$0" && wine_services_start', str(WINE_ENV)],
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, timeout=120)
        check(started.returncode == 0, f'the prefix services did not start ({started.returncode})')

    def data_folder(self):
        """The program's data folder in this prefix (AppData of the prefix's one user)."""
        users = os.path.join(self.prefix, 'drive_c', 'users')
        others = [u for u in os.listdir(users) if u != 'Public']
        check(len(others) == 1, f'cannot tell the Wine user folder among {others}')
        return os.path.join(users, others[0], 'AppData', 'Roaming', 'DorvaneSiteMonitor')

    def start(self, exe, minimised=False, dll_overrides=None):
        return Program(exe, self.prefix, self.launcher, minimised, dll_overrides)

    def tool(self, tool_exe, *args, timeout=300, check=True):
        """Runs a Windows tool of ours; returns its "name value" lines as a dict. Its output goes
        through a file, not a pipe: a process the tool started may outlive it, holding what it
        inherited, and the tool's end is its exit, not the end of that output."""
        with tempfile.TemporaryFile() as output:
            result = subprocess.run(self.launcher + ['wine', tool_exe, *map(str, args)], stdout=output,
                                    stderr=subprocess.DEVNULL, timeout=timeout, stdin=subprocess.DEVNULL)
            output.seek(0)
            printed = output.read()
        values = {}
        for line in printed.decode(errors='replace').splitlines():
            key, _, value = line.strip().partition(' ')
            if key:
                values[key] = value
        if check and result.returncode != 0:
            raise ToolError(f'{" ".join(map(str, args))}: exit {result.returncode}: {values}')
        return values

    def wineserver_pid(self):
        for entry in os.listdir('/proc'):
            if entry.isdigit() and (read(f'/proc/{entry}/comm') or '').startswith('wineserver') \
                    and in_prefix(entry, self.prefix):
                return int(entry)
        return None

    def close(self, keep_folder):
        """Ends every process of the prefix, then the display; the prefix goes unless kept."""
        if os.environ.get('WINEPREFIX') == self.prefix:
            subprocess.run(['wineserver', '-k'], capture_output=True, timeout=60)
            subprocess.run(['wineserver', '-w'], capture_output=True, timeout=60)
        if self.display:
            self.display.close()
        if not keep_folder:
            shutil.rmtree(self.folder, ignore_errors=True)


class Program:
    """A Windows program started with wine (the return code of `wine` is the program's exit
    code), with a minimised show command if asked (`start /wait /min`), and with more DLL
    overrides if given. Its Linux process (pid) is looked up when first asked for."""

    def __init__(self, exe, prefix, launcher=(), minimised=False, dll_overrides=None):
        self.exe, self.prefix = exe, prefix
        wine = ['wine', 'start', '/wait', '/min', '/unix'] if minimised else ['wine']
        environment = dict(os.environ)
        if dll_overrides:
            environment['WINEDLLOVERRIDES'] = ';'.join(
                part for part in (environment.get('WINEDLLOVERRIDES'), dll_overrides) if part)
        self.proc = subprocess.Popen([*launcher, *wine, exe], stdin=subprocess.DEVNULL, env=environment,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._pid = None

    @property
    def pid(self):
        if self._pid is None:
            self._pid = wait_pid(self.exe, self.prefix)
        return self._pid

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f'the program did not end within {timeout} s')

    def ended_within(self, timeout):
        """The exit code if the program ends within `timeout` seconds, None if it runs on."""
        try:
            return self.proc.wait(max(timeout, 0))
        except subprocess.TimeoutExpired:
            return None

    def check_exit(self, expected, timeout=SOON):
        """Waits for the program to end and checks its exit code."""
        code = self.wait_exit(timeout)
        check(code == expected, f'exit code {code}, expected {expected}')

    def stop(self):
        if self.running():
            if self._pid is not None:
                try:
                    os.kill(self._pid, 9)
                except OSError:
                    pass
            self.proc.kill()
            self.proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def read(path, mode='r'):
    try:
        with open(path, mode) as f:
            return f.read()
    except OSError:
        return None


def in_prefix(pid, prefix):
    environ = read(f'/proc/{pid}/environ', 'rb')
    if environ and f'WINEPREFIX={prefix}'.encode() in environ.split(b'\0'):
        return True
    try:
        return os.path.realpath(f'/proc/{pid}/cwd') == os.path.realpath(prefix)
    except OSError:
        return False


def pids_running(exe_path, prefix):
    """Linux pids of the processes of the prefix whose command line names exe_path."""
    name = os.path.basename(exe_path).encode()
    found = []
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        cmdline = read(f'/proc/{entry}/cmdline', 'rb')
        if cmdline and cmdline.split(b'\0')[0].endswith(name) and in_prefix(entry, prefix):
            found.append(int(entry))
    return found


def wait_pid(exe_path, prefix, timeout=SOON):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        pids = pids_running(exe_path, prefix)
        if len(pids) == 1:
            return pids[0]
        time.sleep(0.05)  # poll interval, bounded by the deadline above
    raise ToolError(f'no single Linux process runs {exe_path} (found {pids_running(exe_path, prefix)})')


def memory(pid):
    """VmRSS, RssAnon and Private (Private_Clean + Private_Dirty of smaps_rollup), in KiB."""
    values = {}
    for line in (read(f'/proc/{pid}/status') or '').splitlines():
        key, _, rest = line.partition(':')
        if key in ('VmRSS', 'RssAnon'):
            values[key] = int(rest.split()[0])
    private = 0
    for line in (read(f'/proc/{pid}/smaps_rollup') or '').splitlines():
        if line.startswith(('Private_Clean:', 'Private_Dirty:')):
            private += int(line.split()[1])
    values['Private'] = private
    return values


def cpu_ticks(pid):
    """utime + stime of the whole process (all threads), in clock ticks."""
    stat = read(f'/proc/{pid}/stat')
    if not stat:
        return None
    fields = stat.rsplit(')', 1)[1].split()
    return int(fields[11]) + int(fields[12])


def open_fds(pid):
    try:
        return len(os.listdir(f'/proc/{pid}/fd'))
    except OSError:
        return None
