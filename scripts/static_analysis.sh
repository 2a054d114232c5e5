#!/usr/bin/env bash
# clang-tidy (the repository's .clang-tidy) and cppcheck over the sources in src/.
# clang-tidy reads the compile commands of a Linux build (VELLMOR_ANALYSIS_BUILD;
# the test command passes its ci build), so it skips the *_win.cpp files and the
# Win32 front end in src/win32; cppcheck needs no build and reads them all.
# Any finding fails the run. Files given as arguments replace the default set.
set -uo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "static analysis: $*" >&2
  echo "static analysis: FAIL"
  exit 1
}

scripts/install_deps.sh build ui analysis || fail "could not install clang-tidy, cppcheck and the build packages"
tidy=$(command -v clang-tidy-14 || command -v clang-tidy) || fail "no clang-tidy"
jobs=$(nproc 2>/dev/null || echo 2)

if [[ $# -gt 0 ]]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h')
fi
[[ ${#files[@]} -gt 0 ]] || fail "no files to check"

# Without a tree given, the run command's default build, configured here when needed.
build=${VELLMOR_ANALYSIS_BUILD:-build/default}
if [[ ! -f $build/compile_commands.json ]]; then
  [[ $build == build/default ]] || fail "$build has no compile_commands.json"
  mkdir -p build
  cmake --preset default >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; fail "configure failed"; }
fi
# The window library's moc and resource sources are generated at build time.
cmake --build "$build" --target vellmor_qt_autogen >/dev/null || fail "generating the Qt sources failed"

status=0

# Headers are checked through the sources that include them (HeaderFilterRegex).
mapfile -t tidy_files < <(printf '%s\n' "${files[@]}" | grep -E '\.cpp$' | grep -v -E '(_win\.cpp|^src/win32/.*)$')
echo "=== clang-tidy: ${#tidy_files[@]} files, $jobs at a time"
tidy_log=$build/clang-tidy.log
printf '%s\0' "${tidy_files[@]}" |
  xargs -0 -n 1 -P "$jobs" "$tidy" -p "$build" --quiet --warnings-as-errors='*' >"$tidy_log" 2>&1
tidy_rc=$?
grep -E '(warning|error):' "$tidy_log" | sort -u
if [[ $tidy_rc -ne 0 ]]; then
  echo "clang-tidy: findings (full output in $tidy_log)"
  status=1
fi

echo "=== cppcheck: ${#files[@]} files"
# Qt's macros are known to cppcheck through its qt library file; system headers
# are not read, so their absence is not a finding.
cppcheck --enable=warning,performance,portability --error-exitcode=1 --inline-suppr \
  --std=c++20 --language=c++ --library=qt --library=windows -I src -j "$jobs" --quiet \
  --suppress=missingIncludeSystem "${files[@]}" || status=1

[[ $status -eq 0 ]] || fail "findings above"
echo "static analysis: PASS"
