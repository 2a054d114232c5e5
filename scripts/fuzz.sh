#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset) and runs each for a bounded time
# over a temporary copy of its seeds in fuzz/corpus, so nothing a run adds lands
# in the tree. A crash or a failed check fails the run; the input that caused it
# is kept in build/fuzz/findings. FUZZ_SECONDS sets the time per target; FUZZ_BUILD
# names a tree configured with the fuzz targets already (the test command passes its
# asan build, which makes them unoptimised: fewer runs a second than the fuzz preset's).
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-20}
targets=(selection_rule digest usb_device_list drive_text)

fail() {
  echo "fuzz: $*" >&2
  echo "fuzz: FAIL"
  exit 1
}

[[ $seconds =~ ^[1-9][0-9]*$ ]] || fail "FUZZ_SECONDS must be a whole number of seconds, not '$seconds'"

scripts/install_deps.sh build fuzz || fail "could not install clang and libFuzzer"
build=${FUZZ_BUILD:-}
if [[ -z $build ]]; then
  build=build/fuzz
  mkdir -p build
  cmake --preset fuzz >build/fuzz-configure.log 2>&1 || { cat build/fuzz-configure.log; fail "configure failed"; }
fi
grep -qs '^VELLMOR_BUILD_FUZZ:BOOL=ON' "$build/CMakeCache.txt" || fail "$build is not configured with the fuzz targets"
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/%/_fuzz}" || fail "build failed"

# tmpfs when there is one, for the corpus copies the runs add to.
if [[ -d /dev/shm && -w /dev/shm ]]; then
  work=$(mktemp -d -p /dev/shm vellmor-fuzz.XXXXXX)
else
  work=$(mktemp -d)
fi
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp"
findings=build/fuzz/findings
mkdir -p "$findings"

# One target per processor at a time: each runs for the same wall time, so this
# takes the time of one round per processor rather than one per target.
jobs=$(nproc 2>/dev/null || echo 2)
run_target() {
  local target=$1
  cp -r "fuzz/corpus/$target" "$work/$target"
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1
                 -artifact_prefix="$findings/$target-")
  [[ -f fuzz/$target.dict ]] && options+=(-dict="fuzz/$target.dict")
  TMPDIR=$work/tmp "$build/fuzz/${target}_fuzz" "${options[@]}" "$work/$target" \
    >"$work/$target.log" 2>&1
  echo $? >"$work/$target.rc"
}
for target in "${targets[@]}"; do
  while [[ $(jobs -r | wc -l) -ge $jobs ]]; do
    wait -n
  done
  echo "=== $target: $seconds s from $(ls "fuzz/corpus/$target" | wc -l) seeds"
  run_target "$target" &
done
wait

failed=()
for target in "${targets[@]}"; do
  log=$work/$target.log
  echo "=== $target"
  grep -E '^(#[0-9]+\s+DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$log"
  if [[ $(cat "$work/$target.rc") -ne 0 ]]; then
    tail -n 60 "$log"
    ls "$findings/$target-"* 2>/dev/null
    failed+=("$target")
  fi
done

[[ ${#failed[@]} -eq 0 ]] || fail "crash or failed check in: ${failed[*]} (inputs in $findings)"
echo "fuzz: PASS"
