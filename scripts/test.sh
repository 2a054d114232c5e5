#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the default build, a sanitizer build, the Windows cross-build, fuzzing, the
# Debian package and static analysis. Exits non-zero when any stage fails.
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
  fi
}

ctest_total=0
ctest_failed=0
run_preset() {
  local preset=$1
  cmake --preset "$preset" >"$log_dir/configure-$preset.log" || {
    cat "$log_dir/configure-$preset.log"
    return 1
  }
  cmake --build --preset "$preset" -j "$jobs" || return 1
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

# The default build makes the benchmark programs; their own preset must still configure.
configure_bench() {
  cmake --preset bench >"$log_dir/configure-bench.log" || {
    cat "$log_dir/configure-bench.log"
    return 1
  }
}

stage "install packages" scripts/install_deps.sh build ui test windows fuzz analysis package
stage "default build and tests" run_preset default
stage "bench preset configures" configure_bench
stage "sanitizer build and tests" run_preset asan
for script in check_windows.sh fuzz.sh package.sh static_analysis.sh; do
  stage "$script" "scripts/$script"
done

echo
if [[ $failed -gt 0 ]]; then
  echo "Failed stages: ${failures[*]}"
fi
echo "stages: $passed passed, $failed failed"
echo "tests: $((ctest_total - ctest_failed)) passed, $ctest_failed failed"
[[ $failed -eq 0 ]]
