#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the ci build (warnings are errors) and its tests, the Debian package, the Windows
# cross-build and its checks under wine, a sanitizer build that also makes the fuzz
# targets, fuzzing and static analysis. The whole rebuild comparison is a release step
# (docs/checks.md); the packages' checks look for what it would find. Exits
# non-zero when any stage fails; stops at once when the packages cannot be
# installed or the ci build fails, since every later stage needs them.
#
# The Windows stage runs in the background from the end of the ci build, and the
# packages' checks from the end of its tests, their output kept until they end; the
# one spends half its time waiting on wine, the other on lintian. The processor-bound
# stages run meanwhile at the lowest priority, so they take the time those leave and
# cannot slow the window checks down (docs/checks.md).
set -uo pipefail
cd "$(dirname "$0")/.."

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc 2>/dev/null || echo 2)
log_dir=build/test-logs
mkdir -p "$log_dir"
rm -f "$log_dir"/*.cpu

passed=0
failed=0
failures=()

# Sets cpu to the processor time (user + system) of the finished children, in whole
# seconds. times runs in this shell: in a pipe or $(...) it would see a subshell's.
times_file=$log_dir/times
cpu=0
cpu_seconds() {
  times >"$times_file"
  cpu=$(awk 'NR == 2 {
    total = 0
    for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); total += t[1] * 60 + t[2] }
    printf "%d\n", total }' "$times_file")
}

# The processor time of the background stages that have ended: bash collects a
# background job's time when it ends, in whichever stage is running then.
background_cpu=0
background_cpu_total() {
  background_cpu=0
  local file
  for file in "$log_dir"/*.cpu; do
    [[ -s $file ]] && background_cpu=$((background_cpu + $(cat "$file")))
  done
}

stage() {
  local name=$1
  shift
  echo "=== $name"
  local start=$SECONDS cpu_start result=PASS background_before
  cpu_seconds
  cpu_start=$cpu
  background_cpu_total
  background_before=$background_cpu
  "$@" || result=FAIL
  cpu_seconds
  background_cpu_total
  cpu=$((cpu - (background_cpu - background_before)))
  echo "=== $name: $result ($((SECONDS - start)) s, processor $((cpu - cpu_start)) s)"
  if [[ $result == PASS ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failures+=("$name")
    return 1
  fi
}

# A stage that runs beside the others, its output kept; background_result waits for it
# and prints it, as a stage of its own.
declare -A background_pid background_start
start_background() {
  local name=$1
  shift
  rm -f "$log_dir/$name.cpu"
  background_start[$name]=$SECONDS
  (
    "$@"
    status=$?
    times >"$log_dir/$name.times"
    awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%d\n", u[1] * 60 + u[2] + s[1] * 60 + s[2] }' \
      "$log_dir/$name.times" >"$log_dir/$name.cpu"
    exit "$status"
  ) >"$log_dir/$name.log" 2>&1 &
  background_pid[$name]=$!
}
background_result() {
  local name=$1
  wait "${background_pid[$name]}"
  local status=$?
  cat "$log_dir/$name.log"
  echo "($name: $((SECONDS - background_start[$name])) s in the background, processor $(cat "$log_dir/$name.cpu") s)"
  return "$status"
}

ctest_total=0
ctest_failed=0
build_preset() {
  local preset=$1
  shift
  cmake --preset "$preset" "$@" >"$log_dir/configure-$preset.log" || {
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

run_preset() { build_preset "$@" && test_preset "$1"; }

# The ci build makes the benchmark programs and the asan build the fuzz targets; their
# own presets, which the docs show, must still configure.
configure_presets() {
  local preset
  for preset in bench fuzz; do
    cmake --preset "$preset" >"$log_dir/configure-$preset.log" 2>&1 || {
      cat "$log_dir/configure-$preset.log"
      return 1
    }
  done
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
# Each test program's files compile as one in both builds: GoogleTest's headers and
# templates once a program, half the test code's compile time (docs/checks.md).
stop_unless "ci build" build_preset ci -DVELLMOR_UNITY_TESTS=ON

# The Windows stage from here on, beside the rest.
start_background check_windows scripts/check_windows.sh

stage "ci tests" test_preset ci
# The packages' checks wait mostly on lintian and the file system: beside the rest too.
start_background package scripts/package.sh build/ci
stage "bench and fuzz presets configure" configure_presets
# From here on this shell and all it starts run at the lowest priority, processor and
# disk: the Windows stage and the packages, started before, go first.
renice -n 19 -p $$ >/dev/null
ionice -c 3 -p $$ 2>/dev/null || true
# The window program and its tests ran in the ci build; here the libraries, where device
# text and files are parsed, the CLI and libvellmor run under the sanitizers, and the
# same build makes the fuzz targets (docs/checks.md).
stage "sanitizer build and tests" run_preset asan -DVELLMOR_BUILD_UI=OFF -DVELLMOR_UNITY_TESTS=ON
stage "static_analysis.sh" env VELLMOR_ANALYSIS_BUILD=build/ci scripts/static_analysis.sh
stage "fuzz.sh" env FUZZ_SECONDS=10 FUZZ_BUILD=build/asan scripts/fuzz.sh
stage "package.sh" background_result package
stage "check_windows.sh" background_result check_windows

summary
[[ $failed -eq 0 ]]
