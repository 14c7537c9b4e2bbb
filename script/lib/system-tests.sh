# Sourced by the scripts: the system tests (tests/system, on pytest) against a Windows build:
# the end-to-end scenarios and the reliability checks of the real program under Wine.
#
#   system_tests <build-dir> [pytest arguments]
#
# Every test makes its own Wine prefix (a copy of one template per run, kept in
# <build-dir>/system-tests), Xvfb display and network namespace, so nothing is prepared here and
# tests run side by side: SITEMON_SYSTEM_JOBS of them at a time (default 6; 0 runs them one after
# the other). Long runs are left out unless asked for (-m soak); the bench is script/bench.
# Needs root (network and mount namespaces) and Debian's python3-pytest, python3-pytest-xdist and
# python3-pil, under /usr/bin/python3 (a python3 earlier on PATH may lack them).

system_tests() {
  local build=$1
  shift
  if ! /usr/bin/python3 -c 'import pytest, xdist, PIL' >/dev/null 2>&1; then
    echo "system_tests: needs python3-pytest python3-pytest-xdist python3-pil (apt-get install)" >&2
    return 1
  fi
  /usr/bin/python3 -m pytest "$(dirname "${BASH_SOURCE[0]}")/../../tests/system" --build "$build" \
    -n "${SITEMON_SYSTEM_JOBS:-6}" "$@"
}
