#!/usr/bin/env bash
# Start time and memory of Vellmor.exe against a plain Win32 window with the
# same caption, size and controls (bench/windows/bare_window.cpp), both under
# the same wine in the same run, on one virtual display, taken in turns. From
# process start to the window shown (polled from outside, every few
# milliseconds, by tests/windows/vellmor_driver.exe --start), then the working
# set once the program waits for input. Both programs are stripped first, as
# Vellmor.exe is shipped: under wine the debug sections would count in the working set.
# Needs the mingw build. Usage: bench/windows/window_start.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/../.."

runs=${1:-7}
exe=build/mingw/src/win32/Vellmor.exe
bare=build/mingw/tests/windows/bare_window.exe
driver=build/mingw/tests/windows/vellmor_driver.exe
for file in "$exe" "$bare" "$driver"; do
  [[ -f $file ]] || { echo "missing $file: build the mingw preset first" >&2; exit 2; }
done

wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
work=$(mktemp -d /tmp/vellmor-bench.XXXXXX)
locale_env=(LC_ALL=zh_CN.UTF-8)
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  localedef -i zh_CN -f UTF-8 "$work/locale/zh_CN.UTF-8" >/dev/null 2>&1 || true
  locale_env+=(LOCPATH="$work/locale")
fi
wine_env=(WINEPREFIX="$work/prefix" WINEDEBUG=-all
          WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "${locale_env[@]}")
cleanup() {
  env "${wine_env[@]}" "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

env -u DISPLAY "${wine_env[@]}" "$wine" wineboot -i >/dev/null 2>&1
for setting in 'Fonts\Replacements|宋体|AR PL UMing CN' 'Fonts\Replacements|SimSun|AR PL UMing CN' \
               'Explorer|Desktop|Default' 'Explorer\Desktops|Default|1024x768'; do
  IFS='|' read -r key name value <<<"$setting"
  env -u DISPLAY "${wine_env[@]}" "$wine" reg add "HKCU\\Software\\Wine\\$key" /v "$name" \
    /d "$value" /f >/dev/null 2>&1
done
env "${wine_env[@]}" "$wineserver" -k >/dev/null 2>&1 || true
x86_64-w64-mingw32-strip -o "$work/Vellmor.exe" "$exe"
x86_64-w64-mingw32-strip -o "$work/bare_window.exe" "$bare"
exe="Z:$(tr / '\\' <<<"$work")\\Vellmor.exe"
bare="Z:$(tr / '\\' <<<"$work")\\bare_window.exe"

# One display for all runs; the driver (our own) starts each program, times it and closes it.
cat >"$work/runs.sh" <<'SCRIPT'
#!/usr/bin/env bash
set -uo pipefail
runs=$1 exe=$2 bare=$3 driver=$4 work=$5 wine=$6
shots=$(echo "Z:$work" | tr / '\\')
"$wine" "$driver" "$exe" "$shots" --start >/dev/null 2>&1  # warms the prefix and the desktop
for ((i = 0; i < runs; i++)); do
  for program in "$exe" "$bare"; do
    name=${program##*\\}
    name=${name%.exe}
    "$wine" "$driver" "$program" "$shots" --start 2>/dev/null | tr -d '\r' |
      sed -n "s/^measure: /$name /p"
  done
done
SCRIPT
xvfb-run -a -s "-screen 0 1024x768x24" env "${wine_env[@]}" bash "$work/runs.sh" "$runs" \
  "$exe" "$bare" "$driver" "$work" "$wine" >"$work/measures.txt"
env "${wine_env[@]}" "$wineserver" -k >/dev/null 2>&1 || true

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%-30s %12s %12s %8s\n' "median of $runs runs" "Vellmor.exe" "bare window" "ratio"
for measure in start-to-shown-ms working-set-after-start-kib; do
  v=$(awk -v m="$measure" '$1 == "Vellmor" && $2 == m { print $3 }' "$work/measures.txt" | median)
  b=$(awk -v m="$measure" '$1 == "bare_window" && $2 == m { print $3 }' "$work/measures.txt" | median)
  printf '%-30s %12s %12s %8s\n' "$measure" "$v" "$b" "$(awk -v v="$v" -v b="$b" 'BEGIN { if (b > 0) printf "%.2f", v / b }')"
done
