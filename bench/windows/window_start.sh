#!/usr/bin/env bash
# Start time and memory of the window program: Vellmor.exe under wine and the
# Linux Qt program, measured the same way in the same run, each on a virtual
# display. From process start to MainW shown (polled from outside, every few
# milliseconds), then the resident memory (the working set under wine) after
# the start and after one click on Command1 with its warning answered.
# Needs the mingw and default builds and xdotool (install_deps.sh windows). Usage: bench/windows/window_start.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/../.."

runs=${1:-5}
exe=build/mingw/src/win32/Vellmor.exe
driver=build/mingw/tests/windows/vellmor_driver.exe
qt=build/default/src/qt/vellmor
for file in "$exe" "$driver" "$qt"; do
  [[ -f $file ]] || { echo "missing $file: build the mingw and default presets first" >&2; exit 2; }
done
command -v xdotool >/dev/null || { echo "needs xdotool" >&2; exit 2; }

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

# One display for all runs; under wine the driver (our own) starts, works and
# closes Vellmor.exe, and prints its measures.
cat >"$work/runs.sh" <<'SCRIPT'
#!/usr/bin/env bash
set -uo pipefail
runs=$1 exe=$2 driver=$3 qt=$4 work=$5 wine=$6
shots=$(echo "Z:$work" | tr / '\\')
"$wine" "$driver" "$exe" "$shots" >/dev/null 2>&1  # warms the prefix and the desktop
for ((i = 0; i < runs; i++)); do
  "$wine" "$driver" "$exe" "$shots" 2>/dev/null | tr -d '\r' | sed -n 's/^measure: /wine /p'
done
title='^Vellmor  Ver 5\.1\.7$'
for ((i = 0; i < runs; i++)); do
  start=$(date +%s%N)
  "$qt" >/dev/null 2>&1 &
  pid=$!
  until xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; do :; done
  shown=$(date +%s%N)
  echo "qt start-to-shown-ms $(awk -v a="$start" -v b="$shown" 'BEGIN { printf "%.1f", (b - a) / 1e6 }')"
  sleep 0.3
  echo "qt working-set-after-start-kib $(awk '/VmRSS/ {print $2}' /proc/$pid/status)"
  window=$(xdotool search --onlyvisible --name "$title" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # Command1 sits at 88,136 (77 x 21) in the client area.
  xdotool mousemove $((X + 120)) $((Y + 146)) click 1
  until xdotool search --onlyvisible --name '^Vellmor$' >/dev/null 2>&1; do :; done
  sleep 0.2
  xdotool key Return
  sleep 0.3
  echo "qt working-set-after-click-kib $(awk '/VmRSS/ {print $2}' /proc/$pid/status)"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
done
SCRIPT
xvfb-run -a -s "-screen 0 1024x768x24" env "${wine_env[@]}" bash "$work/runs.sh" "$runs" \
  "$exe" "$driver" "$qt" "$work" "$wine" >"$work/measures.txt"
env "${wine_env[@]}" "$wineserver" -k >/dev/null 2>&1 || true

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%-30s %12s %12s %8s\n' "median of $runs runs" "Vellmor.exe" "Qt vellmor" "ratio"
for measure in start-to-shown-ms working-set-after-start-kib working-set-after-click-kib; do
  w=$(awk -v m="$measure" '$1 == "wine" && $2 == m { print $3 }' "$work/measures.txt" | median)
  q=$(awk -v m="$measure" '$1 == "qt" && $2 == m { print $3 }' "$work/measures.txt" | median)
  printf '%-30s %12s %12s %8s\n' "$measure" "$w" "$q" "$(awk -v w="$w" -v q="$q" 'BEGIN { if (q > 0) printf "%.2f", w / q }')"
done
