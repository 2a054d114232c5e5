#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks what it holds and
# depends on, then unpacks it into a throwaway root and runs the programs from there.
# Usage: scripts/package.sh [BUILD_DIR]   (default: build/default, configured here)
set -uo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "package: $*" >&2
  echo "package: FAIL"
  exit 1
}

scripts/install_deps.sh build ui package || fail "could not install the build packages"

# The tree given (the test command passes its ci build, so nothing compiles twice), or
# else the run command's default build.
build=${1:-build/default}
if [[ $# -eq 0 ]]; then
  mkdir -p build
  cmake --preset default >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; fail "configure failed"; }
fi
[[ -f $build/CMakeCache.txt ]] || fail "$build is not a configured build tree"
cmake --build "$build" -j "$(nproc)" --target vellmor vellmor-cli || fail "build failed"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB) || fail "cpack failed"

deb=$(ls "$build"/vellmor_*.deb 2>/dev/null | head -n 1)
[[ -n $deb ]] || fail "cpack made no .deb"
echo "package: $deb"

contents=$(dpkg-deb -c "$deb") || fail "dpkg-deb cannot list $deb"
echo "$contents"
missing=0
for path in ./usr/bin/vellmor ./usr/bin/vellmor-cli ./usr/share/applications/vellmor.desktop; do
  grep -q -E " $path\$" <<<"$contents" || { echo "package: missing $path" >&2; missing=1; }
done
grep -q -E ' \./usr/share/icons/hicolor/[0-9]+x[0-9]+/apps/vellmor\.png$' <<<"$contents" ||
  { echo "package: missing the icon under usr/share/icons/hicolor" >&2; missing=1; }
[[ $missing -eq 0 ]] || fail "expected files are missing"

field() { dpkg-deb -f "$deb" "$1"; }
echo "Package: $(field Package)  Version: $(field Version)  Section: $(field Section)"
echo "Depends: $(field Depends)"
[[ $(field Package) == vellmor ]] || fail "package name is not vellmor"
version=$(sed -n 's/^#define VELLMOR_VERSION "\(.*\)"$/\1/p' "$build/generated/base/version.h")
[[ -n $version && $(field Version) == "$version" ]] || fail "version is not $version (project())"
[[ $(field Section) == utils ]] || fail "section is not utils"
for dependency in libqt6widgets6 fonts-arphic-uming qt6-translations-l10n; do
  grep -q -E "(^|, )$dependency( |,|$)" <<<"$(field Depends)" || fail "Depends lacks $dependency"
done

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate packaging/vellmor.desktop || fail "the desktop entry does not validate"
else
  echo "package: desktop-file-validate not installed (desktop-file-utils); entry not validated"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root" || fail "dpkg -x failed"
[[ -x $root/usr/bin/vellmor && -x $root/usr/bin/vellmor-cli ]] || fail "programs are not executable"
"$root/usr/bin/vellmor-cli" --version || fail "the unpacked vellmor-cli does not run"
digest=$("$root/usr/bin/vellmor-cli" digest abc) || fail "the unpacked vellmor-cli digest failed"
[[ $digest == 900150983CD24FB0D6963F7D28E17F72 ]] || fail "the unpacked vellmor-cli digests abc as $digest"

# The window program has no way to end by itself: still running after a few
# seconds means it loaded its libraries and showed MainW.
QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/vellmor" >/dev/null 2>&1
rc=$?
[[ $rc -eq 124 ]] || fail "the unpacked vellmor ended with status $rc instead of running"

echo "package: PASS"
