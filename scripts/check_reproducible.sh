#!/usr/bin/env bash
# Builds a second copy of the shipped files from the same sources, in another folder
# and at another time, and compares it byte for byte with the builds already made:
# the Linux programs, libvellmor and the three .debs (from LINUX_BUILD, as
# scripts/package.sh left it), and the Windows programs, vellmor.dll, the ZIP and the
# installer (from MINGW_BUILD, as scripts/check_windows.sh left it; the installer is only
# shown). Only what is compared is built, without the compiler cache, so every object is
# compiled anew.
# A difference fails and shows diffoscope's report on it.
# Usage: scripts/check_reproducible.sh [LINUX_BUILD [MINGW_BUILD]]
#        (default build/ci and build/mingw; an empty or missing tree is skipped;
#        VELLMOR_REBUILD_KEEP=1 keeps the copy)
set -uo pipefail
cd "$(dirname "$0")/.."

linux_build=${1:-build/ci}
mingw_build=${2:-build/mingw}
jobs=$(nproc 2>/dev/null || echo 2)
failed=0
compared=0
bad() { echo "reproducible: $*" >&2; failed=1; }

# What each tree ships, relative to the tree; the packages by pattern.
linux_files=(src/cli/vellmor-cli src/qt/vellmor src/lib/libvellmor.so.1 'vellmor_*.deb' 'libvellmor1_*.deb'
             'libvellmor-dev_*.deb')
mingw_files=(src/win32/Vellmor.exe src/cli/vellmor-cli.exe src/lib/vellmor.dll 'vellmor-*-win64.zip')
# makensis does not give the same installer twice even in one folder (docs/hardening.md):
# compared and shown, not failed on.
mingw_shown=('vellmor-*-win64.exe')

trees=()
[[ -f $linux_build/CMakeCache.txt ]] && trees+=(linux)
[[ -f $mingw_build/CMakeCache.txt ]] && trees+=(mingw)
[[ ${#trees[@]} -gt 0 ]] || { echo "reproducible: no build tree to compare with" >&2; exit 1; }

export CCACHE_DISABLE=1
# ccache with a base_dir hands the compiler relative paths, which the prefix maps do not
# catch: such a tree differs from any build without it.
for tree in "$linux_build" "$mingw_build"; do
  grep -qs '^CMAKE_CXX_COMPILER_LAUNCHER:.*ccache' "$tree/CMakeCache.txt" &&
    echo "reproducible: note: $tree was compiled through ccache; compare trees built without it"
done

# The sources as they stand, tracked and new, without what git ignores, over a clone
# of the history (the package times and the manual pages' dates come from it). The
# copy's folder differs from this one in name and length, and its files have the time
# of the copy, as a fresh checkout has.
copy=$(mktemp -d /tmp/vellmor-rebuild.XXXXXXXX)
if [[ -n ${VELLMOR_REBUILD_KEEP:-} ]]; then
  echo "reproducible: the copy stays in $copy"
else
  trap 'rm -rf "$copy"' EXIT
fi
{ git clone -q --local --no-checkout . "$copy" && git -C "$copy" reset -q --soft "$(git rev-parse HEAD)"; } ||
  { echo "reproducible: could not clone the history" >&2; exit 1; }
git ls-files -z --cached --others --exclude-standard |
  tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xmf - -C "$copy" ||
  { echo "reproducible: could not copy the sources" >&2; exit 1; }

# Builds the named targets in the copy with the reference tree's options, then its packages.
rebuild() {
  local tree=$1 preset=$2 generators=$3
  shift 3
  local start=$SECONDS
  # The reference tree's choices, so that only the folder and the time differ; the
  # tests are left out of the second copy, since cpack first builds all there is.
  local options=()
  local name
  for name in CMAKE_BUILD_TYPE VELLMOR_BUILD_UI VELLMOR_WARNINGS_AS_ERRORS VELLMOR_SANITIZE; do
    local value
    value=$(sed -n "s/^$name:[A-Z]*=//p" "$tree/CMakeCache.txt")
    options+=("-D$name=$value")
  done
  (cd "$copy" && cmake --preset "$preset" -DVELLMOR_BUILD_TESTS=OFF -DVELLMOR_BUILD_BENCH=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER= -DCMAKE_C_COMPILER_LAUNCHER= "${options[@]}" \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=OFF >"$copy/configure-$preset.log" 2>&1) ||
    { cat "$copy/configure-$preset.log"; bad "$preset: the copy does not configure"; return 1; }
  nice cmake --build "$copy/build/$preset" -j "$jobs" --target "$@" >"$copy/build-$preset.log" 2>&1 ||
    { tail -n 40 "$copy/build-$preset.log"; bad "$preset: the copy does not build"; return 1; }
  (cd "$copy/build/$preset" && nice cpack -G "$generators" >"$copy/cpack-$preset.log" 2>&1) ||
    { tail -n 40 "$copy/cpack-$preset.log"; bad "$preset: the copy does not package"; return 1; }
  echo "reproducible: $preset rebuilt in $((SECONDS - start)) s"
}

# Compares one shipped file of the reference tree with the copy's.
compare() {
  local tree=$1 preset=$2 pattern=$3 shown_only=${4:-}
  local first second
  first=$(cd "$tree" && ls -d $pattern 2>/dev/null | head -n 1)
  [[ -n $first ]] || { bad "$tree has no $pattern"; return; }
  second=$copy/build/$preset/$first
  [[ -f $second ]] || { bad "the copy has no $first"; return; }
  compared=$((compared + 1))
  if cmp -s "$tree/$first" "$second"; then
    echo "same:   $(basename "$first")  $(sha256sum <"$second" | cut -c1-16)"
  elif [[ -n $shown_only ]]; then
    echo "differs, as known: $(basename "$first")"
  else
    echo "DIFFER: $(basename "$first")"
    bad "$first differs between $tree and a rebuild in another folder"
    if command -v diffoscope >/dev/null; then
      diffoscope --no-progress --text - "$tree/$first" "$second" 2>&1 | head -n 120
    fi
  fi
}

for kind in "${trees[@]}"; do
  if [[ $kind == linux ]]; then
    rebuild "$linux_build" ci DEB vellmor vellmor-cli libvellmor vellmor_package_docs &&
      for file in "${linux_files[@]}"; do compare "$linux_build" ci "$file"; done
  else
    rebuild "$mingw_build" mingw "ZIP;NSIS" Vellmor vellmor-cli libvellmor &&
      for file in "${mingw_files[@]}"; do compare "$mingw_build" mingw "$file"; done &&
      for file in "${mingw_shown[@]}"; do compare "$mingw_build" mingw "$file" shown; done
  fi
done

echo "reproducible: $compared files compared"
if [[ $failed -ne 0 ]]; then
  echo "reproducible: FAIL"
  exit 1
fi
echo "reproducible: PASS"
