# Sourced by script/test: one function per step, each returning non-zero when it failed.
# Progress lines of the builds are left out; warnings and errors are shown.

jobs=$(nproc)
# Builds run one compiler more than there are cores: a link or a unit waiting on the disk then
# leaves no core idle, nor do the end-to-end scenarios beside the builds, which mostly sleep.
build_jobs=$((jobs + 1))

# Runs one step and says how long it took.
timed() {
  local began=$SECONDS status=0
  "$@" || status=$?
  echo "-- $1: $((SECONDS - began)) s$([ "$status" -eq 0 ] || echo ", FAILED")"
  return "$status"
}

quiet_build() {
  cmake --build "$@" 2>&1 | { grep -vE '^\[ *[0-9]+%\]|^gmake|Built target|Consolidate compiler' || true; }
  return "${PIPESTATUS[0]}"
}

step_layers() {
  echo "== layer check"
  script/check-layers
}

step_native() {
  echo "== native build and tests"
  cmake --preset native >/dev/null && quiet_build --preset native -j"$build_jobs" &&
    ctest --preset native -j"$jobs" --timeout 300
}

# Only the programs whose tests carry the label "threads" are built (each test is named after its
# program).
step_tsan() {
  echo "== threading tests under ThreadSanitizer"
  cmake --preset tsan >/dev/null || return 1
  local targets
  targets=$(ctest --preset tsan -N | awk '/Test +#[0-9]+:/ {print $3}')
  [ -n "$targets" ] || { echo "no threading tests are registered" >&2; return 1; }
  # shellcheck disable=SC2086
  quiet_build --preset tsan -j"$build_jobs" --target $targets && ctest --preset tsan -j"$jobs" --no-tests=error
}

step_fuzz() {
  echo "== fuzzing (20 s per target, two at a time, build/fuzz)"
  script/fuzz --jobs 2 20
}

# The whole run builds the fuzz targets first and runs them later, one at a time and shorter,
# beside the Windows tests (which mostly wait).
step_fuzz_build() {
  echo "== fuzz targets' build (build/fuzz)"
  script/fuzz --build-only
}

step_fuzz_run() {
  echo "== fuzzing (8 s per target, one at a time, build/fuzz)"
  script/fuzz --jobs 1 8
}

step_windows_build() {
  echo "== windows build"
  cmake --preset windows >/dev/null && quiet_build --preset windows -j"$build_jobs"
}

# The Windows tests' prefix (build/windows/wineprefix), made once: the whole run makes it while the
# fuzz targets build, so that the Windows tests begin at once.
step_windows_prefix() {
  (
    . script/lib/wine-env.sh
    wine_env_vars build/windows
    wine_prefix_prepare
  )
}

# The Windows test programs, four side by side (they mostly wait on clocks and loopback servers),
# in one Wine prefix and one virtual display unless they have their own.
step_windows_tests() {
  echo "== windows tests (Wine)"
  (
    . script/lib/wine-env.sh
    wine_env_setup build/windows
    xvfb_start
    trap wine_env_teardown EXIT
    ctest --preset windows -j$((2 * jobs))
  )
}

# The end-to-end scenarios: each makes its own Wine prefix, display and network namespace
# (tests/system); SITEMON_SYSTEM_JOBS of them side by side. The package check is one of them.
step_e2e() {
  echo "== end-to-end scenarios (Wine)"
  . script/lib/system-tests.sh
  system_tests build/windows -q
}

# The package check alone: the release zip packed from build/windows's programs, read, unpacked
# into a fresh Wine prefix and run from there (tests/system/test_package.py).
step_package() {
  echo "== package check (Wine)"
  . script/lib/system-tests.sh
  system_tests build/windows -q -k test_package
}
