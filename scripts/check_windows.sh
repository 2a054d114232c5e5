#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64 (warnings are errors), checks
# that vellmor-cli.exe and Vellmor.exe need no DLL of the toolchain and carry
# their version records, icons and manifest, builds the ZIP and the installer,
# then runs the programs and the checks of tests/windows under wine in a
# throwaway Chinese prefix: the CLI headless, the windows on a virtual display,
# driven from outside; the installer installed, started and removed.
# --no-wine stops after the build checks.
# Usage: scripts/check_windows.sh [--no-wine]
set -uo pipefail
cd "$(dirname "$0")/.."

use_wine=1
case "${1:-}" in
  "") ;;
  --no-wine) use_wine=0 ;;
  *) echo "usage: $0 [--no-wine]" >&2; exit 2 ;;
esac

build_dir=build/mingw
jobs=$(nproc 2>/dev/null || echo 2)
passed=0
failed=0

ok() { passed=$((passed + 1)); echo "ok: $*"; }
bad() { failed=$((failed + 1)); echo "FAIL: $*"; }
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}
finish() {
  echo "check_windows: $passed passed, $failed failed"
  if [[ $failed -eq 0 ]]; then echo "check_windows: PASS"; exit 0; fi
  echo "check_windows: FAIL"
  exit 1
}
elapsed() { echo "  ($1: $(($(date +%s) - $2)) s)"; }

# Packages: the toolchain and NSIS always; for the runs wine, the locale sources,
# a virtual display, the CJK font and the fonts wine draws its frames with.
packages=(g++-mingw-w64-x86-64 mingw-w64-tools nsis file)
[[ $use_wine -eq 1 ]] && packages+=(wine64 locales xvfb xauth fonts-arphic-uming fonts-wine)
missing=()
for pkg in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "installed" ]] || missing+=("$pkg")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  start=$(date +%s)
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q >/dev/null &&
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
      "${missing[@]}" >/dev/null || { bad "installing ${missing[*]}"; finish; }
  elapsed "install" "$start"
fi

# Build.
start=$(date +%s)
mkdir -p build
if ! cmake --preset mingw >"$build_dir.configure.log" 2>&1; then
  cat "$build_dir.configure.log"
  bad "configure the mingw preset"
  finish
fi
rm -f "$build_dir.configure.log"
if ! cmake --build --preset mingw -j "$jobs"; then
  bad "cross-build with warnings as errors"
  finish
fi
ok "cross-build with warnings as errors"

tests_dir=$build_dir/tests/windows
platform_tests=(code_page_win_test usb_hub_source_win_test shell_win_test drives_win_test)
window_tests=(win32_window_test)
table_programs=(wide_char_codes ansi_codes console_code_page)
# Built by name, so that a program left over from an earlier build never stands in.
if cmake --build --preset mingw -j "$jobs" --target "${platform_tests[@]}" "${window_tests[@]}" \
  vellmor_driver >/dev/null 2>&1; then
  ok "platform checks built"
else
  bad "platform checks built (CMakeLists.txt needs: if(WIN32) add_subdirectory(tests/windows) endif())"
  platform_tests=()
fi
if cmake --build --preset mingw -j "$jobs" --target "${table_programs[@]}" >/dev/null 2>&1; then
  ok "code table programs built"
else
  bad "code table programs built"
  table_programs=()
fi
elapsed "build" "$start"

exe=$build_dir/src/cli/vellmor-cli.exe
[[ -f $exe ]] || { bad "$exe was built"; finish; }

# Only system DLLs: no libstdc++, libgcc or winpthread to carry along.
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
toolchain_dlls=$(grep -iE '^(libstdc|libgcc|libwinpthread|libssp)' <<<"$imports" || true)
check "vellmor-cli.exe runs alone (imports: $(echo $imports))" test -z "$toolchain_dlls"

# DLLs by bare name from System32 only: a planted one beside the program never loads.
# (The import table read whole first: grep -q would end the pipe early under pipefail.)
dll_search() { grep -q 'SetDefaultDllDirectories' <<<"$(x86_64-w64-mingw32-objdump -p "$1")"; }
check "vellmor-cli.exe limits the DLL search to System32" dll_search "$exe"

# The console's code page belongs to the user: nothing may change it.
console_cp_calls=$(x86_64-w64-mingw32-objdump -p "$exe" | grep -oE 'SetConsole(Output)?CP' || true)
check "vellmor-cli.exe leaves the console's code page alone" test -z "$console_cp_calls"

# What the version record must say, as project() gives it.
version_header=$build_dir/generated/base/version.h
macro() { sed -n "s/^#define $1 //p" "$version_header" | tr -d '"'; }
name=$(macro VELLMOR_PRODUCT_NAME)
version=$(macro VELLMOR_VERSION)
numbers=$(macro VELLMOR_VERSION_NUMBERS | sed 's/,/, /g')
record_text=$(macro VELLMOR_VERSION_RECORD_TEXT)
check "the version header names the product and its version" test -n "$name" -a -n "$version"

# The resources as the linked program holds them, read back into script form.
resources=$(x86_64-w64-mingw32-windres -J coff -i "$exe" -O rc 2>&1)
has_resource() { grep -qF -- "$1" <<<"$resources"; }
for line in \
  "FILEVERSION $numbers" \
  "PRODUCTVERSION $numbers" \
  'BLOCK "080404B0"' \
  "VALUE \"CompanyName\", \"$name\"" \
  "VALUE \"FileVersion\", \"$record_text\"" \
  "VALUE \"InternalName\", \"$name\"" \
  "VALUE \"LegalCopyright\", \"Copyright (C) $name. http://www.example.com\"" \
  'VALUE "OriginalFilename", "vellmor-cli.exe"' \
  "VALUE \"ProductName\", \"$name\"" \
  "VALUE \"ProductVersion\", \"$record_text\"" \
  'VALUE "Translation", 0x804, 1200' \
  'LANGUAGE 4, 2' \
  '"IDI_ICON1" 14 /* RT_GROUP_ICON */'; do
  check "resource: $line" has_resource "$line"
done

# The window program: its own version record, the manifest, the pictures.
window_exe=$build_dir/src/win32/Vellmor.exe
[[ -f $window_exe ]] || { bad "$window_exe was built"; finish; }
imports=$(x86_64-w64-mingw32-objdump -p "$window_exe" | sed -n 's/^\s*DLL Name: //p')
toolchain_dlls=$(grep -iE '^(libstdc|libgcc|libwinpthread|libssp)' <<<"$imports" || true)
check "Vellmor.exe runs alone (imports: $(echo $imports))" test -z "$toolchain_dlls"
# The drive code is vellmor-cli's alone.
check "Vellmor.exe imports no CFGMGR32" test -z "$(grep -i '^cfgmgr32' <<<"$imports" || true)"
check "Vellmor.exe limits the DLL search to System32" dll_search "$window_exe"
resources=$(x86_64-w64-mingw32-windres -J coff -i "$window_exe" -O rc 2>&1)
for line in \
  'VALUE "OriginalFilename", "Vellmor.exe"' \
  "VALUE \"FileVersion\", \"$record_text\"" \
  'BLOCK "080404B0"' \
  '1 14 /* RT_GROUP_ICON */' \
  '2 14 /* RT_GROUP_ICON */' \
  '101 RCDATA' \
  '204 12 /* RT_GROUP_CURSOR */' \
  '1 24 /* RT_MANIFEST */' \
  'PerMonitorV2'; do
  check "Vellmor.exe resource: $line" has_resource "$line"
done

# The packages: a portable ZIP and the installer.
start=$(date +%s)
rm -f "$build_dir"/vellmor-*-win64.zip "$build_dir"/vellmor-*-win64.exe "$build_dir/SHA256SUMS"
(cd "$build_dir" && cpack >cpack.log 2>&1) || cat "$build_dir/cpack.log"
zip_file=$(ls "$build_dir"/vellmor-*-win64.zip 2>/dev/null | head -n 1)
installer=$(ls "$build_dir"/vellmor-*-win64.exe 2>/dev/null | head -n 1)
check "the ZIP was built" test -f "$zip_file"
check "the installer was built" test -f "$installer"
portable=$build_dir/portable
rm -rf "$portable" && mkdir -p "$portable"
[[ -f $zip_file ]] && (cd "$portable" && cmake -E tar xf "$(realpath "../$(basename "$zip_file")")")
zip_dir=$(ls -d "$portable"/vellmor-*-win64 2>/dev/null | head -n 1)
shipped_docs="CHANGELOG.md LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt"
check "the ZIP holds the two programs, the README, licence, changelog, notices and sdk, nothing else" \
  test "$(cd "$zip_dir" 2>/dev/null && LC_ALL=C ls | tr '\n' ' ')" = "$shipped_docs Vellmor.exe sdk vellmor-cli.exe "
check "the notices are those of the installed mingw-w64 runtime (packaging/windows/notices.sh)" \
  cmp -s <(packaging/windows/notices.sh) packaging/windows/THIRD-PARTY-NOTICES.txt
check "the README is the Windows users' one: the version, no build steps, no Markdown links" \
  sh -c 'grep -q "^Vellmor $2 for Windows" "$1" && ! grep -Eqi "cmake|scripts/|apt |\]\(" "$1"' \
  sh "$zip_dir/README.txt" "$(basename "$zip_dir" | sed 's/^vellmor-//; s/-win64$//')"
# libvellmor: the DLL, its import library and the header; only vellmor_* exported.
sdk=$zip_dir/sdk
check "the sdk folder holds vellmor.dll, vellmor.lib and include/vellmor/vellmor.h" \
  test -f "$sdk/vellmor.dll" -a -f "$sdk/vellmor.lib" -a -f "$sdk/include/vellmor/vellmor.h"
dll_exports=$(x86_64-w64-mingw32-objdump -p "$sdk/vellmor.dll" 2>/dev/null |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk 'NR > 1 && NF { print $NF }')
check "vellmor.dll exports only vellmor_* ($(echo $dll_exports))" \
  test -n "$dll_exports" -a -z "$(grep -v '^vellmor_' <<<"$dll_exports")"
imports=$(x86_64-w64-mingw32-objdump -p "$sdk/vellmor.dll" 2>/dev/null | sed -n 's/^\s*DLL Name: //p')
check "vellmor.dll needs no toolchain DLL" test -z "$(grep -iE '^(libstdc|libgcc|libwinpthread|libssp)' <<<"$imports")"
resources=$(x86_64-w64-mingw32-windres -J coff -i "$sdk/vellmor.dll" -O rc 2>&1)
check "vellmor.dll carries its version record" has_resource 'VALUE "OriginalFilename", "vellmor.dll"'
window_size=$(stat -c %s "$zip_dir/Vellmor.exe" 2>/dev/null || echo 0)
echo "  Vellmor.exe as shipped: $window_size bytes"
check "Vellmor.exe as shipped is under 2 MiB" test "$window_size" -gt 0 -a "$window_size" -lt 2097152
check "the installer is a 64-bit program" grep -q 'x86-64' <(file "$installer")
# ASLR, DEP and no link time in the header, as shipped (docs/hardening.md).
check "the shipped programs and vellmor.dll have ASLR, DEP and no link time" \
  scripts/check_hardening.sh "$zip_dir/Vellmor.exe" "$zip_dir/vellmor-cli.exe" "$sdk/vellmor.dll"
sums_match() {
  (cd "$build_dir" && sha256sum --strict --check SHA256SUMS) &&
    test "$(awk '{ print $2 }' "$build_dir/SHA256SUMS" | sort | tr '\n' ' ')" = \
      "$(basename "$installer") $(basename "$zip_file") "
}
check "SHA256SUMS lists the ZIP and the installer as they are" sums_match
# What a rebuild elsewhere would change; the rebuild itself is a release step.
check "the shipped programs name no build folder and the ZIP is dated by SOURCE_DATE_EPOCH" \
  scripts/check_build_traces.sh "$build_dir" "$zip_dir/Vellmor.exe" "$zip_dir/vellmor-cli.exe" \
  "$sdk/vellmor.dll" "$zip_file"
elapsed "packages" "$start"

if [[ $use_wine -eq 0 ]]; then
  finish
fi

wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# Code page 936 comes from a Simplified-Chinese locale; wine also needs it in
# glibc to turn the UTF-8 command line into UTF-16.
locale_env=(LC_ALL=zh_CN.UTF-8)
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  locale_dir=$PWD/$build_dir/locale
  if [[ ! -f $locale_dir/zh_CN.UTF-8/LC_CTYPE ]]; then
    start=$(date +%s)
    mkdir -p "$locale_dir"
    localedef -i zh_CN -f UTF-8 "$locale_dir/zh_CN.UTF-8" >/dev/null 2>&1
    elapsed "locale" "$start"
  fi
  locale_env+=(LOCPATH="$locale_dir")
fi

prefix=$(mktemp -d /tmp/vellmor-wine.XXXXXX)
wine_env=(env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$prefix" WINEDEBUG=-all
          WINEDLLOVERRIDES="mscoree,mshtml=" "${locale_env[@]}")
cleanup() {
  "${wine_env[@]}" "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT

start=$(date +%s)
if ! "${wine_env[@]}" timeout 300 "$wine" wineboot -i >/dev/null 2>&1; then
  bad "wine prefix created"
  finish
fi
elapsed "wine prefix" "$start"

out=$build_dir/wine-run
mkdir -p "$out"
# Runs a Windows program; its standard output (CRs dropped) and error land in
# $out/stdout and $out/stderr, its exit code in $run_status.
run() {
  "${wine_env[@]}" timeout 120 "$wine" "$@" >"$out/stdout.raw" 2>"$out/stderr"
  run_status=$?
  tr -d '\r' <"$out/stdout.raw" >"$out/stdout"
}
stdout_is() { [[ "$(cat "$out/stdout")" == "$1" ]]; }
status_is() { [[ $run_status -eq $1 ]]; }

start=$(date +%s)
run "$exe" --version
check "--version prints the version" stdout_is "vellmor-cli $version"
check "--version exits 0" status_is 0

run "$exe" digest abc
check "digest abc" stdout_is "900150983CD24FB0D6963F7D28E17F72"

run "$exe" --help
check "--help offers no option that reads a sysfs tree" \
  bash -c 'grep -q -- "--wait" "$1" && ! grep -Eq -- "--sysfs-root|--dev-root|--mount-table" "$1"' \
  bash "$out/stdout"

# Characters the code page lacks count as "?", and the user is told which code page.
run "$exe" digest 한국
check "digest 한국: the digest of ??" stdout_is "$(run "$exe" digest '??' && cat "$out/stdout")"
run "$exe" digest 한국
check "digest 한국: a note names the code page" grep -qxF \
  'vellmor-cli: note: 2 characters have no code in code page 936 and count as "?"' \
  <(tr -d '\r' <"$out/stderr")

# Wine's management service has no USB hubs, so the read ends empty, with the
# warning; should it ever find a device, the digest must still be that of its serial.
run "$exe"
serial=$(sed -n 1p "$out/stdout")
digest=$(sed -n 2p "$out/stdout")
if [[ -z $serial ]]; then
  check "read: no serial gives the digest of the empty text" \
    [ "$digest" = D41D8CD98F00B204E9800998ECF8427E ]
  check "read: the warning goes to standard error" grep -qF "请插入U盘" "$out/stderr"
  check "read: exits 1 without a serial" status_is 1
else
  echo "note: wine reported the serial '$serial'"
  expected=$(run "$exe" digest -- "$serial" && cat "$out/stdout")
  check "read: the digest is that of the serial" [ "$digest" = "$expected" ]
fi

# Without USB disks: an empty drive list, and --wait gives up after its time with the
# warning (it has listened for device notifications meanwhile).
if [[ -z $serial ]]; then
  run "$exe" drives --json
  check "drives: none under wine" stdout_is '{"schemaVersion":1,"drives":[]}'
  run "$exe" --wait 0.5
  check "--wait: gives up with the warning" grep -qF "请插入U盘" "$out/stderr"
  check "--wait: exits 1 after the time" status_is 1
fi

# history: sticks made in the prefix's device store (tests/windows/device_store.reg) come
# back as rows, the dates from the properties wine keeps in the registry; wine's event log
# cannot be queried, which a note says. The keys are removed again afterwards.
store_reg=tests/windows/device_store.reg
store_keys=$out/device_store_removed.reg
{ echo REGEDIT4; sed -n '/Properties/!s/^\[\(HKEY[^]]*\)\]\r\{0,1\}$/[-\1]/p' "$store_reg"; } >"$store_keys"
regedit_file() { "${wine_env[@]}" timeout 120 "$wine" regedit /s "Z:$(realpath "$1" | tr / '\\')"; }
regedit_file "$store_reg"
run "$exe" history --json
check "history: the device store's sticks under wine" stdout_is \
  '{"schemaVersion":1,"sticks":[{"vendorId":"090C","productId":"1000","serial":"5&2B3C4D5E&0&4","digest":"0EEF2434754D361D0319176973C0FAF6","deviceId":"USB\\VID_090C&PID_1000\\5&2B3C4D5E&0&4","manufacturer":null,"product":null,"firstSeen":null,"lastSeen":null,"arrivals":1,"lastLocation":null,"notes":["madeUp"],"sources":["deviceStore"]},{"vendorId":"0781","productId":"5567","serial":"4C530001231120115142","digest":"AE6E35C8E506AAF9F9C52D8CA2E4E68A","deviceId":"USB\\VID_0781&PID_5567\\4C530001231120115142","manufacturer":null,"product":"Cruzer Blade","firstSeen":"2026-11-01T00:00:00.000Z","lastSeen":"2026-12-07T12:00:00.000Z","arrivals":2,"lastLocation":"Port_#0002.Hub_#0001","notes":[],"sources":["deviceStore"]}]}'
check "history: exits 0 with the device store read" status_is 0
check "history: a note that the Application log was not read" grep -qF \
  "vellmor-cli: history: note: the tool's events in the Application log were not read" "$out/stderr"
run "$exe" history --csv --since 2026-12-01
check "history --since: the dated stick alone, from its last arrival" stdout_is "$(printf '%s\n' \
  'vendorId,productId,serial,digest,deviceId,manufacturer,product,firstSeen,lastSeen,arrivals,lastLocation,notes,sources' \
  '0781,5567,4C530001231120115142,AE6E35C8E506AAF9F9C52D8CA2E4E68A,USB\VID_0781&PID_5567\4C530001231120115142,,Cruzer Blade,2026-12-07T11:30:02.000Z,2026-12-07T12:00:00.000Z,1,Port_#0002.Hub_#0001,,deviceStore')"
regedit_file "$store_keys"

# Best-fit codes (À A8A4, ¢ A1E9, ¦ "|") and a double-byte one.
mixed_text='À¢¦中'
mixed_digest=43262412C8B1CE978F4C67C5ED42532B

# The character's code from code page 936 (D6 D0) packs into x[0] = 0xFFFFD6D0.
han_digest=6CBA308F8D5F2B49971DBB43879A078C
run "$exe" digest 中
check "digest 中 from the command line under code page 936" stdout_is "$han_digest"
"${wine_env[@]}" timeout 120 "$wine" "$exe" digest < <(printf '中') 2>/dev/null | tr -d '\r' \
  >"$out/stdout"
check "digest 中 from standard input" stdout_is "$han_digest"
linux_cli=${VELLMOR_LINUX_CLI:-build/ci/src/cli/vellmor-cli}
[[ -x $linux_cli ]] || linux_cli=build/default/src/cli/vellmor-cli
if [[ -x $linux_cli ]]; then
  check "digest 中 equals the Linux build's" stdout_is "$("$linux_cli" digest 中)"
else
  echo "note: no Linux build at $linux_cli to compare with"
fi

run "$exe" digest "$mixed_text"
check "digest $mixed_text" stdout_is "$mixed_digest"
if [[ -x $linux_cli ]]; then
  check "digest $mixed_text equals the Linux build's" stdout_is "$("$linux_cli" digest "$mixed_text")"
fi

# The C test beside the shipped DLL, comparing with the shipped vellmor-cli.exe.
if cmake --build --preset mingw --target vellmor_c_test >/dev/null 2>&1 && [[ -d $sdk ]]; then
  cp "$tests_dir/vellmor_c_test.exe" "$sdk/"
  run "$sdk/vellmor_c_test.exe" "Z:$(realpath "$zip_dir/vellmor-cli.exe" | tr / '\\')"
  cat "$out/stdout" "$out/stderr"
  check "vellmor_c_test.exe through vellmor.dll under wine" status_is 0
else
  bad "vellmor_c_test.exe built"
fi

# The Application log: the shipped vellmor-cli.exe's message table in both languages, and
# the insertion strings ReportEventW gets, in order, for a scripted arrival and removal and
# an arrival the allowed list does not allow.
if cmake --build --preset mingw --target event_log_win_test >/dev/null 2>&1; then
  "${wine_env[@]}" WINEDEBUG=+eventlog timeout 120 "$wine" "$tests_dir/event_log_win_test.exe" \
    "Z:$(realpath "$zip_dir/vellmor-cli.exe" | tr / '\\')" >"$out/stdout" 2>"$out/stderr"
  run_status=$?
  cat "$out/stdout"
  check "event_log_win_test under wine" status_is 0
  reports=$(grep -oE 'ReportEventW \([^,]*,0x[0-9a-f]+,0x[0-9a-f]+,0x[0-9a-f]+' "$out/stderr" |
    cut -d, -f2,4 | paste -sd' ')
  check "ReportEventW: information, event ids 1 then 2; a stick not allowed a warning, id 1 under facility 1" \
    [ "$reports" = "0x0004,0x00000001 0x0004,0x00000002 0x0002,0x00010001" ]
  strings=$(sed -n 's/^.*trace:eventlog:ReportEventW L"\(.*\)"$/\1/p' "$out/stderr" | head -n 13 | paste -sd'|')
  check "ReportEventW: the insertion strings in their order, % in device text as it is" \
    [ "$strings" = '1|arrived|WINE%1STICK0001|9D422C3278331A85DD2D30D846955D57|USB\\VID_0781&PID_5567\\WINE%1STICK0001|0781|5567||Cruzer|Port_#0002.Hub_#0001|||' ]
  # wine traces a warning's strings on its warn channel; the drive's JSON, cut short in the
  # trace, is the one line the pattern passes over.
  strings=$(sed -n 's/^.*warn:eventlog:ReportEventW L"\(.*\)"$/\1/p' "$out/stderr" | paste -sd'|')
  check "ReportEventW: a stick not allowed, the same strings and the verdict 0 last" \
    [ "$strings" = '1|arrived|WINE%1STICK0001|9D422C3278331A85DD2D30D846955D57|USB\\VID_0781&PID_5567\\WINE%1STICK0001|0781|5567||Cruzer|Port_#0002.Hub_#0001||||0' ]
else
  bad "event_log_win_test.exe built"
fi

# The ZIP's vellmor-cli.exe as the service VellmorWatch, created as docs/fleet.md shows.
service_state() {
  "${wine_env[@]}" "$wine" sc query VellmorWatch 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'
}
# Waits up to $1 ms for the service to be in state $2. A start takes a few seconds in a
# fresh prefix and far longer on a loaded machine; the wait ends as soon as it runs.
service_reaches() {
  local deadline=$(($(date +%s%N) / 1000000 + $1))
  while [[ $(service_state) != "$2" ]]; do
    (($(date +%s%N) / 1000000 < deadline)) || return 1
    sleep 0.05
  done
}
# Each wine session has its own services.exe, which holds the services in memory, and a
# session ends about a second after its last program; the next run starts another. The
# session `wineboot -i` starts has two (the prefix's first boot and the one asked for), and
# sc create going to one and sc start to the other fails with "no such service". So the
# session before is left to end, and a new one is held, by a program reading standard
# input, across the service's runs.
"${wine_env[@]}" timeout 60 "$wineserver" -w
exec {session_fd}> >(exec "${wine_env[@]}" "$wine" cmd.exe /c "set /p x=" >/dev/null 2>&1)
"${wine_env[@]}" "$wine" sc create VellmorWatch \
  binPath= "\"Z:$(realpath "$zip_dir/vellmor-cli.exe" | tr / '\\')\" watch --log" start= auto >/dev/null 2>&1
"${wine_env[@]}" "$wine" sc start VellmorWatch >/dev/null 2>&1
service_gone() {
  local deadline=$(($(date +%s) + 10))
  while [[ -n $(service_state) ]]; do
    (($(date +%s) < deadline)) || return 1
    sleep 0.1
  done
}
check "the ZIP's vellmor-cli.exe runs as the service VellmorWatch" service_reaches 40000 RUNNING
"${wine_env[@]}" "$wine" sc stop VellmorWatch >/dev/null 2>&1
check "sc stop stops VellmorWatch within 2 s" service_reaches 2000 STOPPED
"${wine_env[@]}" "$wine" sc delete VellmorWatch >/dev/null 2>&1
check "sc delete removes VellmorWatch" service_gone
# At the end of its input the holder ends.
exec {session_fd}>&-

for test in "${platform_tests[@]}"; do
  run "$tests_dir/$test.exe"
  cat "$out/stdout"
  if ! status_is 0; then
    echo "$test exited $run_status; its standard error ends:"
    tail -n 20 "$out/stderr"
  fi
  check "$test under wine" status_is 0
done

# The whole Linux table against Windows' own conversion, unit by unit.
linux_codes=$build_dir/linux_ansi_codes
if g++ -std=c++20 -O2 -Isrc -o "$linux_codes" tools/cp936/ansi_codes.cpp \
     src/digest/code_page_linux.cpp src/digest/code_page_936_table.cpp; then
  "$linux_codes" >"$out/linux-codes"
else
  bad "Linux code table program built"
fi
# Prints the units whose codes differ, at most ten, and fails when any does.
same_codes() {
  awk 'NR == FNR { want[FNR] = $1; next }
       FNR > 65536 || want[FNR] != $1 {
         if (++differ <= 10) printf "  U+%04X: %s, Windows %s\n", FNR - 1, $1, want[FNR]
       }
       END { if (FNR != 65536) print "  " FNR " codes, not 65536";
             if (differ) print "  " differ " codes differ"; exit (differ || FNR != 65536) }' \
    "$out/windows-936" "$1"
}
if [[ ${#table_programs[@]} -gt 0 ]]; then
  run "$build_dir/tests/windows/wide_char_codes.exe" 936
  cp "$out/stdout" "$out/windows-936"
  check "WideCharToMultiByte(936) gives a code for all 65536 units" status_is 0
  check "the Linux table equals WideCharToMultiByte(936, 0, ...) for all 65536 units" \
    same_codes "$out/linux-codes"
  run "$build_dir/tests/windows/ansi_codes.exe"
  cp "$out/stdout" "$out/windows-ansi"
  check "AnsiCodeOf under code page 936 equals it too" same_codes "$out/windows-ansi"
fi

# A Windows whose ANSI code page is UTF-8 (65001, which wine gives a Unicode-only
# locale such as Hindi) takes the codes from code page 936; the text goes by
# standard input, as the command line would need a Hindi locale in glibc.
utf8_env=("${wine_env[@]}" LC_ALL=hi_IN.UTF-8)
run_utf8() {
  "${utf8_env[@]}" timeout 120 "$wine" "$@" >"$out/stdout.raw" 2>"$out/stderr"
  run_status=$?
  tr -d '\r' <"$out/stdout.raw" >"$out/stdout"
}
run_utf8 "$exe" digest < <(printf '%s' "$mixed_text")
check "digest $mixed_text under code page 65001" stdout_is "$mixed_digest"
if [[ ${#platform_tests[@]} -gt 0 ]]; then
  run_utf8 "$tests_dir/code_page_win_test.exe"
  cat "$out/stdout"
  check "code_page_win_test under code page 65001" status_is 0
fi
if [[ ${#table_programs[@]} -gt 0 ]]; then
  run_utf8 "$tests_dir/ansi_codes.exe"
  cp "$out/stdout" "$out/windows-ansi-65001"
  check "AnsiCodeOf under code page 65001 equals code page 936" same_codes "$out/windows-ansi-65001"
fi
# In a console (script gives wine a terminal, and wine a console on it) the
# characters arrive whole through WriteConsoleW, and the console's code page
# is the same after vellmor-cli as before.
if [[ ${#table_programs[@]} -gt 0 ]]; then
  mkdir -p "$prefix/drive_c/console"
  cp "$exe" "$tests_dir/console_code_page.exe" "$prefix/drive_c/console/"
  page='C:\console\console_code_page.exe'
  timeout 120 script -qec "$(printf '%q ' "${wine_env[@]}" "$wine" cmd /c \
    "$page & C:\\console\\vellmor-cli.exe & $page")" /dev/null \
    </dev/null | sed 's/\x1b\[[?0-9;]*[a-zA-Z]//g' | tr -d '\r' >"$out/console"
  rm -rf "$prefix/drive_c/console"
  cat "$out/console"
  console_pages=$(grep -o 'console-output-cp=[0-9]*' "$out/console" | sort -u)
  check "vellmor-cli writes Chinese to a console" grep -qF "请插入U盘" "$out/console"
  check "the console's code page stays as found" \
    test "$(wc -l <<<"$console_pages")" -eq 1 -a -n "$console_pages"
fi
elapsed "wine runs" "$start"

# The windows. A virtual desktop on a virtual display gives the frames as wine
# draws them and the design's 96 dpi; the Song face maps onto the installed CJK font.
# Mail links go to xdg-email alone: wine tries /usr/bin/open first, which on
# Debian is openvt's.
start=$(date +%s)
for setting in \
  'HKCU\Software\Wine\Fonts\Replacements|宋体|AR PL UMing CN' \
  'HKCU\Software\Wine\Fonts\Replacements|SimSun|AR PL UMing CN' \
  'HKCU\Software\Wine\Explorer|Desktop|Default' \
  'HKCU\Software\Wine\Explorer\Desktops|Default|1024x768' \
  'HKCU\Software\Wine\WineBrowser|Mailers|xdg-email'; do
  IFS='|' read -r key name value <<<"$setting"
  "${wine_env[@]}" "$wine" reg add "$key" /v "$name" /d "$value" /f >/dev/null 2>&1
done
"${wine_env[@]}" "$wineserver" -k >/dev/null 2>&1

# Links reach the Linux URL handler; these stand-ins record them instead.
stand_ins=$PWD/$out/bin
links=$PWD/$out/links.log
mkdir -p "$stand_ins"
rm -f "$links"
for handler in xdg-open xdg-email; do
  printf '#!/bin/sh\nprintf "%%s %%s\\n" %s "$*" >>"%s"\n' "$handler" "$links" >"$stand_ins/$handler"
  chmod +x "$stand_ins/$handler"
done
gui_env=(WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
         "${locale_env[@]}" PATH="$stand_ins:$PATH" WINESERVER="$wineserver")
# Runs a Windows program on its own virtual display and waits for every wine
# process to end; output in $out/NAME.log, exit code in $run_status.
gui_run() {
  local name=$1
  shift
  xvfb-run -a -s "-screen 0 1024x768x24" env "${gui_env[@]}" bash -c \
    'timeout 300 "$@"; status=$?; timeout 60 "$WINESERVER" -w || "$WINESERVER" -k; exit $status' \
    gui "$wine" "$@" >"$out/$name.log" 2>&1
  run_status=$?
}
windows_path() { echo "Z:$(realpath "$1" | tr / '\\')"; }
screenshots=$build_dir/screenshots
mkdir -p "$screenshots"
rm -f "$screenshots"/*.png
driver=$tests_dir/vellmor_driver.exe

# The portable program alone in its folder, driven from outside.
alone=$out/alone
rm -rf "$alone" && mkdir -p "$alone"
cp "$zip_dir/Vellmor.exe" "$alone/"
gui_run driver "$driver" "$(windows_path "$alone/Vellmor.exe")" "$(windows_path "$screenshots")"
grep -vE '^(wine: Read access|.*setlocale)' "$out/driver.log"
check "Vellmor.exe walked through under wine" status_is 0
check "a click on Label4 hands the author's site to the shell" \
  grep -qE '^xdg-open http://www\.example\.com/?$' "$links"
check "the banner hands the advertiser's page to the shell for a click, Space and Enter" \
  test "$(grep -cxF 'xdg-open http://www.example.net/ad.asp?from=example.com' "$links")" -eq 3
check "a click on the About window's Label3 hands the mail link to the shell" \
  grep -qxF 'xdg-email mailto:author@example.com' "$links"
for picture in mainw about; do
  check "screenshot $screenshots/$picture.png" test -s "$screenshots/$picture.png"
done

for test in "${window_tests[@]}"; do
  gui_run "$test" "$tests_dir/$test.exe"
  grep -vE '^(wine: Read access|.*setlocale)' "$out/$test.log"
  check "$test under wine" status_is 0
done
elapsed "window runs" "$start"

# The installer, silently, then the installed program, then the uninstaller.
start=$(date +%s)
installed=$prefix/drive_c/Program\ Files/Vellmor
shortcut=$prefix/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Vellmor/Vellmor.lnk
gui_run install "$installer" /S
check "the installer runs silently" status_is 0
for file in Vellmor.exe vellmor-cli.exe $shipped_docs Uninstall.exe; do
  check "installed: $file" test -f "$installed/$file"
done
uninstall_entry() {
  local key='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vellmor]'
  key=$key awk 'index($0, ENVIRON["key"]) == 1 { on = 1; next } /^\[/ { on = 0 } on' "$prefix/system.reg"
}
# The machine's PATH as the registry holds it.
machine_path() {
  local key='[System\\CurrentControlSet\\Control\\Session Manager\\Environment]'
  key=$key awk 'index($0, ENVIRON["key"]) == 1 { on = 1; next } /^\[/ { on = 0 } on' "$prefix/system.reg" |
    grep -i '^"PATH"='
}
check "a default install leaves PATH alone" bash -c '! grep -qi "Program Files.*Vellmor" <<<"$1"' bash "$(machine_path)"
entry=$(uninstall_entry)
for value in '"Publisher"="The Vellmor authors"' "\"DisplayVersion\"=\"$version\"" \
  '"DisplayIcon"="C:\\Program Files\\Vellmor\\Vellmor.exe"' '"HelpLink"="http://www.example.com"'; do
  check "uninstall entry: $value" grep -qxF "$value" <<<"$entry"
done
size_kb=$((16#$(sed -n 's/^"EstimatedSize"=dword:\([0-9a-f]*\)$/\1/p' <<<"$entry" | grep . || echo 0)))
installed_kb=$(du -sk "$installed" | cut -f1)
echo "  EstimatedSize: $size_kb KiB; installed folder: $installed_kb KiB"
check "uninstall entry: the estimated size is the installed files' size" \
  test "$size_kb" -gt $((installed_kb / 2)) -a "$size_kb" -le $((installed_kb * 2))
check "the Start-menu entry points at the installed Vellmor.exe" \
  grep -qaF 'C:\Program Files\Vellmor\Vellmor.exe' "$shortcut"
gui_run installed "$driver" 'C:\Program Files\Vellmor\Vellmor.exe' "$(windows_path "$out")"
check "the installed Vellmor.exe starts and closes" status_is 0
gui_run uninstall 'C:\Program Files\Vellmor\Uninstall.exe' /S
check "the uninstaller runs silently" status_is 0
left=$(find "$prefix/drive_c" -iname '*vellmor*' 2>/dev/null; grep -il vellmor "$prefix"/*.reg 2>/dev/null)
[[ -n $left ]] && echo "left behind: $left"
check "nothing of Vellmor is left after uninstalling" test -z "$left"
# Chosen, vellmor-cli goes on the machine's PATH, and comes off with the uninstaller.
gui_run install-path "$installer" /S /PATH=AllUsers
check "the installer with /PATH=AllUsers runs silently" status_is 0
check "the install folder is on the machine's PATH" grep -qiF 'C:\\Program Files\\Vellmor' <<<"$(machine_path)"
gui_run uninstall-path 'C:\Program Files\Vellmor\Uninstall.exe' /S
check "the uninstaller takes it off PATH" bash -c '! grep -qi "Program Files.*Vellmor" <<<"$1"' bash "$(machine_path)"

# Installed again with /SERVICE, headless: the event source registered, the service there
# and running; the uninstaller (run in place, so that it is waited for) removes both.
event_source() {
  "${wine_env[@]}" "$wine" reg query \
    'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Vellmor' 2>/dev/null |
    tr -d '\r' | awk 'NF >= 3 { $1 = $1; print }'
}
run "$installer" /S /SERVICE
check "the installer with /SERVICE runs silently" status_is 0
source_entry=$(event_source)
echo "$source_entry"
check "installed: the event source's message file" \
  grep -qxF 'EventMessageFile REG_EXPAND_SZ C:\Program Files\Vellmor\vellmor-cli.exe' <<<"$source_entry"
check "installed: the event source's types" grep -qxF 'TypesSupported REG_DWORD 0x7' <<<"$source_entry"
check "installed: VellmorWatch runs" service_reaches 60000 RUNNING
# _?= must be unquoted, so the folder's short name.
run 'C:\Program Files\Vellmor\Uninstall.exe' /S '_?=C:\PROGRA~1\Vellmor'
check "the uninstaller stops and removes VellmorWatch" test -z "$(service_state)"
check "the uninstaller removes the event source" test -z "$(event_source)"
rm -rf "$installed"
elapsed "installer" "$start"

# The same prefix at 125 %, 150 % and 200 %: the places, the sizes and the
# banner of both windows scale with the dpi.
start=$(date +%s)
for dpi in 120 144 192; do
  "${wine_env[@]}" "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d "$dpi" /f >/dev/null 2>&1
  "${wine_env[@]}" "$wineserver" -w >/dev/null 2>&1
  gui_run "dpi-$dpi" "$driver" "$(windows_path "$alone/Vellmor.exe")" "$(windows_path "$screenshots")" \
    --layout
  grep -vE '^(wine: Read access|.*setlocale)' "$out/dpi-$dpi.log"
  check "Vellmor.exe laid out at $dpi dpi" status_is 0
  check "screenshot $screenshots/mainw-$dpi.png" test -s "$screenshots/mainw-$dpi.png"
done
elapsed "dpi runs" "$start"

finish
