#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the ci build (warnings are errors) and its tests, a sanitizer build, the
# Windows cross-build, fuzzing, the Debian package and static analysis, the last
# two from the ci build's tree. Exits non-zero when any stage fails; stops at
# once when the packages cannot be installed or the ci build fails, since every
# later stage needs them.
set -uo pipefail
cd "$(dirname "$0")/.."

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc 2>/dev/null || echo 2)
log_dir=build/test-logs
mkdir -p "$log_dir"

passed=0
failed=0
failures=()

stage() {
  local name=$1
  shift
  echo "=== $name"
  local start=$SECONDS
  if "$@"; then
    passed=$((passed + 1))
    echo "=== $name: PASS ($((SECONDS - start)) s)"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "=== $name: FAIL ($((SECONDS - start)) s)"
    return 1
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
stage "ci tests" test_preset ci
stage "bench preset configures" configure_bench
stage "sanitizer build and tests" run_preset asan
stage "check_windows.sh" scripts/check_windows.sh
stage "fuzz.sh" scripts/fuzz.sh
stage "package.sh" scripts/package.sh build/ci
stage "static_analysis.sh" env VELLMOR_ANALYSIS_BUILD=build/ci scripts/static_analysis.sh

summary
[[ $failed -eq 0 ]]
