#!/usr/bin/env bash
# Builds the Debian packages from a build tree (vellmor, and libvellmor1 and
# libvellmor-dev from the same run) and checks what they hold and depend on, then
# unpacks them into a throwaway root and runs the programs from there.
# lintian must find no error or warning; the manual pages must render cleanly and name
# every option and command --help lists, and bash must complete them.
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
cmake --build "$build" -j "$(nproc)" --target vellmor vellmor-cli libvellmor vellmor_package_docs ||
  fail "build failed"
rm -f "$build"/*.deb "$build/SHA256SUMS"
(cd "$build" && cpack -G DEB) || fail "cpack failed"

deb=$(ls "$build"/vellmor_*.deb 2>/dev/null | head -n 1)
[[ -n $deb ]] || fail "cpack made no .deb"
echo "package: $deb"

contents=$(dpkg-deb -c "$deb") || fail "dpkg-deb cannot list $deb"
echo "$contents"
missing=0
for path in ./usr/bin/vellmor ./usr/bin/vellmor-cli \
  ./usr/share/applications/com.example.Vellmor.desktop \
  ./usr/share/metainfo/com.example.Vellmor.metainfo.xml \
  ./usr/share/man/man1/vellmor.1.gz ./usr/share/man/man1/vellmor-cli.1.gz \
  ./usr/share/doc/vellmor/copyright ./usr/share/doc/vellmor/changelog.gz \
  ./usr/share/bash-completion/completions/vellmor-cli ./usr/share/zsh/vendor-completions/_vellmor-cli; do
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

desktop-file-validate packaging/com.example.Vellmor.desktop || fail "the desktop entry does not validate"
appstreamcli validate --no-net packaging/com.example.Vellmor.metainfo.xml ||
  fail "the AppStream metainfo does not validate"

# The library's packages: the library alone, and what building against it needs.
library_deb=$(ls "$build"/libvellmor1_*.deb 2>/dev/null | head -n 1)
dev_deb=$(ls "$build"/libvellmor-dev_*.deb 2>/dev/null | head -n 1)
[[ -n $library_deb && -n $dev_deb ]] || fail "cpack made no libvellmor1 or libvellmor-dev package"
library_files=$(dpkg-deb -c "$library_deb" | awk '{ print $6 }')
dev_files=$(dpkg-deb -c "$dev_deb" | awk '{ print $6 }')
for pattern in 'usr/lib/[^/]+/libvellmor\.so\.1$' 'usr/share/doc/libvellmor1/copyright$'; do
  grep -qE "$pattern" <<<"$library_files" || fail "libvellmor1 lacks $pattern"
done
for pattern in 'usr/include/vellmor/vellmor\.h$' 'usr/lib/[^/]+/libvellmor\.so$' \
  'usr/lib/[^/]+/pkgconfig/vellmor\.pc$' 'usr/lib/[^/]+/cmake/Vellmor/VellmorConfig\.cmake$'; do
  grep -qE "$pattern" <<<"$dev_files" || fail "libvellmor-dev lacks $pattern"
done
grep -q 'libvellmor' <<<"$contents" && fail "the programs' package carries the library"
[[ $(dpkg-deb -f "$dev_deb" Depends) == "libvellmor1 (= $version)" ]] ||
  fail "libvellmor-dev does not depend on libvellmor1 (= $version)"

# Runs beside the checks below; its verdict is read at the end.
lintian_log=$(mktemp)
lintian --fail-on error,warning --display-info "$deb" "$library_deb" "$dev_deb" >"$lintian_log" 2>&1 &
lintian_pid=$!

root=$(mktemp -d)
trap 'kill "$lintian_pid" 2>/dev/null; rm -rf "$root" "$lintian_log"' EXIT
for package in "$deb" "$library_deb" "$dev_deb"; do
  dpkg -x "$package" "$root" || fail "dpkg -x $package failed"
done
[[ -x $root/usr/bin/vellmor && -x $root/usr/bin/vellmor-cli ]] || fail "programs are not executable"
# The programs and the library as shipped keep the protections they were built with.
scripts/check_hardening.sh "$root/usr/bin/vellmor" "$root/usr/bin/vellmor-cli" "$root"/usr/lib/*/libvellmor.so.1 \
  "$build"/src/*/libvellmor_*.a ||
  fail "a shipped binary lacks a protection (docs/hardening.md)"
(cd "$build" && sha256sum --check --strict SHA256SUMS) || fail "SHA256SUMS does not match the packages"
# What a rebuild elsewhere would change; the rebuild itself is a release step.
scripts/check_build_traces.sh "$build" "$root/usr/bin/vellmor" "$root/usr/bin/vellmor-cli" \
  "$root"/usr/lib/*/libvellmor.so.1 "$build"/*.deb ||
  fail "a shipped file carries the build's folder or clock (docs/hardening.md)"
for package in "$deb" "$library_deb" "$dev_deb"; do
  grep -qE "^[0-9a-f]{64}  $(basename "$package")\$" "$build/SHA256SUMS" || fail "SHA256SUMS lacks $(basename "$package")"
done
"$root/usr/bin/vellmor-cli" --version || fail "the unpacked vellmor-cli does not run"
digest=$("$root/usr/bin/vellmor-cli" digest abc) || fail "the unpacked vellmor-cli digest failed"
[[ $digest == 900150983CD24FB0D6963F7D28E17F72 ]] || fail "the unpacked vellmor-cli digests abc as $digest"
# A vendor's program built against the unpacked library through its .pc file, which names
# /usr (so that pkg-config prints no system folder there): here the prefix is the unpacked one.
pc_dir=$(dirname "$(find "$root/usr/lib" -name vellmor.pc | head -n 1)")
[[ $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs vellmor | xargs) == -lvellmor ]] ||
  fail "pkg-config --cflags --libs vellmor names system folders"
# shellcheck disable=SC2046
cc -o "$root/licence_check" examples/licence_check.c \
  $(PKG_CONFIG_PATH=$pc_dir pkg-config --define-variable=prefix="$root/usr" --cflags --libs vellmor) \
  -Wl,-rpath,"$pc_dir/.." ||
  fail "examples/licence_check.c does not build against the unpacked libvellmor-dev"
"$root/licence_check" 00000000000000000000000000000000 >/dev/null
[[ $? -eq 1 ]] || fail "the licence check against the unpacked library found a stick with digest 0"

# The watch service: a unit systemd accepts, sandboxed to a low exposure, and a catalog
# journalctl reads without a complaint for each of the three message ids.
unit=$root/usr/lib/systemd/system/vellmor-watch.service
[[ -f $unit && -f $root/usr/lib/systemd/catalog/vellmor.catalog &&
  -f $root/usr/lib/systemd/catalog/vellmor.zh_CN.catalog ]] || fail "the watch service or its catalog is missing"
# verify wants the command there: the same unit with the unpacked program.
mkdir -p "$root/verify"
sed "s|/usr/bin/vellmor-cli|$root/usr/bin/vellmor-cli|" "$unit" >"$root/verify/vellmor-watch.service"
systemd-analyze verify --man=no "$root/verify/vellmor-watch.service" ||
  fail "systemd-analyze verify rejects vellmor-watch.service"
exposure=$(systemd-analyze security --offline=true --no-pager "$unit" 2>/dev/null |
  sed -n 's/.*Overall exposure level for vellmor-watch.service: \([0-9.]*\).*/\1/p')
echo "package: vellmor-watch.service exposure $exposure"
awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.0) }' ||
  fail "vellmor-watch.service exposure is '$exposure', more than 2.0"
mkdir -p "$root/var/lib/systemd"
catalog_errors=$(journalctl --root="$root" --update-catalog 2>&1)
[[ -z $catalog_errors ]] || { echo "$catalog_errors" >&2; fail "journalctl complains about the catalog"; }
catalog=$(journalctl --root="$root" --list-catalog 2>&1)
for id in 0326c970bdac4b4ba3dc20cda2a78317 c7baa10749b444458edb161f02d96763 5c1ec34a9a544a39b09199160db2ca7c; do
  grep -q "^$id vellmor: " <<<"$catalog" || fail "the catalog does not explain $id"
done

# The window program has no way to end by itself: still running after a few
# seconds means it loaded its libraries and showed MainW.
QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/vellmor" >/dev/null 2>&1
rc=$?
[[ $rc -eq 124 ]] || fail "the unpacked vellmor ended with status $rc instead of running"

top=$(zcat "$root/usr/share/doc/vellmor/changelog.gz" | head -n 1)
[[ $top == "vellmor ($version) "* ]] ||
  fail "the changelog's newest entry is '$top', not version $version (CHANGELOG.md)"

# The manual pages render without a warning, and name every option and command that
# --help lists; the bash completion offers them too, so neither falls behind the program.
help=$("$root/usr/bin/vellmor-cli" --help) || fail "the unpacked vellmor-cli --help failed"
options=$(grep -oE '(^|[][ |(,])--?[[:alpha:]][[:alnum:]-]*' <<<"$help" | sed 's/^[^-]*//' | sort -u)
commands=$(awk '/^Commands:/ { on = 1; next } /^[^ ]/ { on = 0 } on && /^  [a-z]/ { print $1 }' <<<"$help")
[[ -n $options && -n $commands ]] || fail "found no options or commands in --help"
for page in vellmor vellmor-cli; do
  source_page=$root/usr/share/man/man1/$page.1.gz
  warnings=$(zcat "$source_page" | groff -k -man -T utf8 -ww -z 2>&1) || fail "groff cannot render $page.1"
  [[ -z $warnings ]] || { echo "$warnings" >&2; fail "$page.1 renders with warnings"; }
done
manual=$(zcat "$root/usr/share/man/man1/vellmor-cli.1.gz" | groff -k -man -T utf8 -P -cbou 2>/dev/null)
completion=$root/usr/share/bash-completion/completions/vellmor-cli
drift=0
for option in $options; do
  grep -qE -- "(^|[^[:alnum:]-])$option([^[:alnum:]-]|\$)" <<<"$manual" ||
    { echo "package: vellmor-cli.1 lacks $option" >&2; drift=1; }
done
for command in $commands; do
  grep -qE "^ +$command\$" <<<"$manual" ||
    { echo "package: vellmor-cli.1 has no item for the command $command" >&2; drift=1; }
done
for word in $options $commands; do
  for file in "$completion" "$root/usr/share/zsh/vendor-completions/_vellmor-cli"; do
    grep -qE -- "(^|[ '(){,])$word([ ')=:,}[]|\$)" "$file" ||
      { echo "package: $(basename "$file") does not offer $word" >&2; drift=1; }
  done
done
[[ $drift -eq 0 ]] || fail "the manual page or the completion lags behind --help (docs/man, packaging/completion)"

complete_line() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _vellmor_cli; echo "${COMPREPLY[*]}"' \
    complete "$completion" vellmor-cli "$@"
}
[[ $(complete_line dr) == drives ]] || fail "bash does not complete 'vellmor-cli dr' to drives"
[[ $(complete_line drives --mo) == --mount-table ]] || fail "bash does not complete 'drives --mo'"

wait "$lintian_pid"
lintian_status=$?
cat "$lintian_log"
[[ $lintian_status -eq 0 ]] || fail "lintian reports errors or warnings"
grep -E '^I: .* hardening-' "$lintian_log" && fail "lintian finds protections missing"

echo "package: PASS"
