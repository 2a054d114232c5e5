#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the ci build (warnings are errors) and its tests, the Debian package, the Windows
# cross-build and its checks under wine, a sanitizer build, fuzzing, static analysis
# and a second build in another folder that must give the same bytes. Exits
# non-zero when any stage fails; stops at once when the packages cannot be
# installed or the ci build fails, since every later stage needs them.
#
# The Windows stage runs in the background from the start, its output kept until
# it ends; it spends half its time waiting on wine. The processor-bound stages run
# meanwhile at idle priority, so they take only the time the wine runs leave and
# cannot slow the window checks down (docs/checks.md).
set -uo pipefail
cd "$(dirname "$0")/.."

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc 2>/dev/null || echo 2)
log_dir=build/test-logs
mkdir -p "$log_dir"

passed=0
failed=0
failures=()

# Processor time (user + system) of the finished children, in whole seconds.
cpu_seconds() {
  times | awk 'NR == 2 {
    total = 0
    for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); total += t[1] * 60 + t[2] }
    printf "%d\n", total }'
}

stage() {
  local name=$1
  shift
  echo "=== $name"
  local start=$SECONDS cpu_start
  cpu_start=$(cpu_seconds)
  if "$@"; then
    passed=$((passed + 1))
    echo "=== $name: PASS ($((SECONDS - start)) s, processor $(($(cpu_seconds) - cpu_start)) s)"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "=== $name: FAIL ($((SECONDS - start)) s, processor $(($(cpu_seconds) - cpu_start)) s)"
    return 1
  fi
}

# Runs a command at idle priority (processor and disk), or else at the lowest nice level.
idle() {
  if chrt --idle 0 true 2>/dev/null; then
    ionice -c 3 -t chrt --idle 0 "$@"
  else
    nice -n 19 "$@"
  fi
}

ctest_total=0
ctest_failed=0
build_preset() {
  local preset=$1
  cmake --preset "$preset" >"$log_dir/configure-$preset.log" || {
    cat "$log_dir/configure-$preset.log"
    return 1
  }
  cmake --build --preset "$preset" -j "$jobs"
}

test_preset() {
  local preset=$1
  ctest --preset "$preset" -j "$jobs" | tee "$log_dir/ctest-$preset.log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log_dir/ctest-$preset.log" | tail -n 1)
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    ctest_failed=$((ctest_failed + BASH_REMATCH[1]))
    ctest_total=$((ctest_total + BASH_REMATCH[2]))
  fi
  return "$rc"
}

run_preset() { build_preset "$1" && test_preset "$1"; }

# The ci build makes the benchmark programs; their own preset must still configure.
configure_bench() {
  cmake --preset bench >"$log_dir/configure-bench.log" || {
    cat "$log_dir/configure-bench.log"
    return 1
  }
}

summary() {
  echo
  if [[ $failed -gt 0 ]]; then
    echo "Failed stages: ${failures[*]}"
  fi
  echo "stages: $passed passed, $failed failed"
  echo "tests: $((ctest_total - ctest_failed)) passed, $ctest_failed failed"
}

stop_unless() {
  if ! stage "$@"; then
    echo "=== stopped: the stages after this one need it"
    summary
    exit 1
  fi
}

stop_unless "install packages" scripts/install_deps.sh build ui test windows fuzz analysis package
stop_unless "ci build" build_preset ci

# The Windows stage from here on, beside the rest; it says when its packages are made
# and the wine runs begin.
windows_log=$log_dir/check_windows.log
windows_packed=$log_dir/windows-packed
rm -f "$windows_packed"
windows_start=$SECONDS
VELLMOR_WINE_START_FILE=$windows_packed scripts/check_windows.sh >"$windows_log" 2>&1 &
windows_pid=$!
windows_result() {
  wait "$windows_pid"
  local status=$?
  cat "$windows_log"
  echo "(check_windows.sh ran $((SECONDS - windows_start)) s in the background)"
  return "$status"
}
# The comparison needs the ZIP and the installer the Windows stage made.
windows_packages() {
  while [[ ! -e $windows_packed ]] && kill -0 "$windows_pid" 2>/dev/null; do
    sleep 1
  done
}

stage "ci tests" test_preset ci
stage "bench preset configures" configure_bench
stage "package.sh" scripts/package.sh build/ci
stage "sanitizer build and tests" idle run_preset asan
stage "static_analysis.sh" env VELLMOR_ANALYSIS_BUILD=build/ci idle scripts/static_analysis.sh
stage "fuzz.sh" idle scripts/fuzz.sh
windows_packages
stage "check_reproducible.sh" idle scripts/check_reproducible.sh build/ci build/mingw
stage "check_windows.sh" windows_result

summary
[[ $failed -eq 0 ]]
