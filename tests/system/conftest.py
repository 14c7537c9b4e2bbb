"""Fixtures of the system tests. Every test that runs the program gets a Wine of its own: a copy
of the run's template prefix, an Xvfb display and a network namespace (its own 127.0.0.1), all
ended with the test, so tests run side by side (pytest-xdist, -n N)."""
import os
import re
import uuid
from functools import cached_property

import pytest

from .checks import REPO, check
from .environment import Environment, failure_report
from .servers import LoopbackServer
from .wine import Wine, build_setting, find_built, hosts_launcher, run_folder, template_prefix


def pytest_addoption(parser):
    group = parser.getgroup('sitemon', 'SiteMonitor system tests')
    group.addoption('--build', default=str(REPO / 'build' / 'windows'),
                    help='the Windows build folder (default: build/windows)')
    group.addoption('--seed', type=int, help='durability: seed of the random cycles (default: the time)')
    group.addoption('--keep-rows', action='store_true',
                    help='popup soak: do not empty the log (its rows then grow the memory: shows '
                         'the check can fail)')
    group.addoption('--quick', action='store_true', help='bench: 20 s CPU windows, no probing window')
    group.addoption('--curl-bench', help='bench: the native curl_probe_bench program')


@pytest.hookimpl(trylast=True)  # after -m and -k have deselected
def pytest_collection_modifyitems(items):
    """The longest tests first, so that tests side by side end at about the same time. A worker
    of pytest-xdist is handed the test after the one it runs as it starts it, and the first
    tests go out two to a worker: with more than two tests per worker, each of the longest is
    followed by one of the shortest, so that no worker holds a long test behind a long one."""
    items.sort(key=lambda item: -max((mark.args[0] for mark in item.iter_markers('runs_for')),
                                     default=0))
    workers = int(os.environ.get('PYTEST_XDIST_WORKER_COUNT', '1'))
    if workers > 1 and len(items) >= 2 * workers:
        longest, middle, shortest = items[:workers], items[workers:-workers], items[-workers:]
        items[:] = [item for pair in zip(longest, reversed(shortest)) for item in pair] + middle


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    """A failed test that ran the program reports what the program left behind (see
    failure_report), while the program and its display are still there."""
    outcome = yield
    report = outcome.get_result()
    setattr(item, 'report_' + report.when, report)
    wine = item.funcargs.get('wine')
    if report.failed and report.when == 'call' and wine is not None and wine.display:
        report.sections.append(('what the program left', failure_report(
            wine.kept, wine, item.funcargs.get('env'))))


def failed(request):
    return any(getattr(getattr(request.node, 'report_' + when, None), 'failed', False)
               for when in ('setup', 'call'))


class Programs:
    """The built programs, looked up by file name in the build folder when first needed, so
    that a target whose output moves is still found."""

    def __init__(self, build):
        self.build = build

    @cached_property
    def program(self):
        return find_built(self.build, 'SiteMonitor.exe')

    @cached_property
    def driver(self):
        return find_built(self.build, 'sitemon_e2e_driver.exe')

    @cached_property
    def tool(self):
        return find_built(self.build, 'sitemon_reliability_tool.exe')

    @cached_property
    def fake_sensapi(self):
        return find_built(self.build, 'sensapi.dll')


@pytest.fixture(scope='session')
def build(pytestconfig):
    folder = os.path.abspath(pytestconfig.getoption('build'))
    check(os.path.isfile(os.path.join(folder, 'CMakeCache.txt')), f'{folder} is not a CMake build folder')
    return folder


@pytest.fixture(scope='session')
def programs(build):
    return Programs(build)


@pytest.fixture(scope='session')
def system_folder(build):
    """This run's folder, <build>/system-tests/<run>: the run's template prefix and a folder per
    test (all workers of a run share it)."""
    with run_folder(os.path.join(build, 'system-tests'),
                    os.environ.get('PYTEST_XDIST_TESTRUNUID') or uuid.uuid4().hex) as folder:
        yield folder


@pytest.fixture(scope='session')
def hosts(build, system_folder):
    """The hosts mapping of the notice host, as a command prefix for every Wine command."""
    folder = os.path.join(system_folder, 'hosts', os.environ.get('PYTEST_XDIST_WORKER', 'main'))
    os.makedirs(folder, exist_ok=True)
    return hosts_launcher(build, folder)


@pytest.fixture(scope='session')
def wine_template(system_folder):
    return template_prefix(system_folder)


@pytest.fixture
def wine(request, wine_template, hosts, system_folder, monkeypatch, tmp_path):
    """The test's own prefix, display and network; every process of the prefix ends with it. A
    failed test's prefix stays in <build>/system-tests/<run>/<test> until the next run begins,
    and what it left to read in <pytest's temporary folder of the test>/failure."""
    name = re.sub(r'[^\w.-]', '_', request.node.name)
    session = Wine(wine_template, os.path.join(system_folder, name), hosts)
    session.kept = tmp_path / 'failure'
    try:
        session.open(monkeypatch)
        yield session
    finally:
        session.close(keep_folder=failed(request))


@pytest.fixture
def env(wine, programs, build):
    """SiteMonitor.exe in the test's Wine, with drivers; what the test started ends with it."""
    environment = Environment(wine, programs, os.path.join(build, 'e2e-artifacts'))
    yield environment
    environment.cleanup()


@pytest.fixture
def loopback(request, wine):
    """Starts loopback servers in the test's network (LoopbackServer's arguments); they stop
    with the test, and a failed test reports what they saw."""
    servers = []

    def serve(**options):
        servers.append(LoopbackServer(**options))
        return servers[-1]
    yield serve
    for server in servers:
        if failed(request):
            server.describe()
        server.close()


@pytest.fixture
def notice_service(loopback, build):
    """The maker's notice service on 127.0.0.1 at the port the program was built with; the site
    'index.php' answers its requests (set it with .set('index.php', ...))."""
    return loopback(port=int(build_setting(build, 'SITEMON_NOTICE_PORT')))
