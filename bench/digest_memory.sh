#!/usr/bin/env bash
# Peak resident memory and time of `vellmor-cli digest` over standard input of
# growing size (1 MB to 1 GB, ASCII and Chinese), from GNU time's report.
# Usage: bench/digest_memory.sh [CLI [OTHER_CLI]]   (OTHER_CLI: a build to compare with)
# No pipefail: yes and tr end on a broken pipe by design.
set -u
cd "$(dirname "$0")/.."

cli=${1:-build/bench/src/cli/vellmor-cli}
other=${2:-}
sizes=(1000000 10000000 100000000 1000000000)

# Prints "<peak KiB> <seconds>" for the CLI over N bytes of the given text repeated.
measure() {
  local program=$1 bytes=$2 unit=$3 report
  report=$(mktemp)
  # Whole characters only: a cut one would be invalid UTF-8.
  bytes=$((bytes - bytes % $(printf '%s' "$unit" | wc -c)))
  yes -- "$unit" | tr -d '\n' | head -c "$bytes" |
    /usr/bin/time -v "$program" digest >/dev/null 2>"$report"
  awk -F': ' '/Maximum resident set size/ { kib = $2 }
              /User time/ { user = $2 } /System time/ { sys = $2 }
              END { printf "%d %.2f\n", kib, user + sys }' "$report"
  rm -f "$report"
}

printf '%-8s %12s %14s %10s %12s\n' text bytes "peak RSS" seconds "ns per byte"
for text in ascii chinese; do
  unit=a
  [[ $text == chinese ]] && unit=中
  for bytes in "${sizes[@]}"; do
    for program in "$cli" $other; do
      read -r kib seconds < <(measure "$program" "$bytes" "$unit")
      awk -v t="$text" -v b="$bytes" -v k="$kib" -v s="$seconds" -v p="$program" \
        'BEGIN { printf "%-8s %12d %11d KiB %10.2f %12.2f  %s\n", t, b, k, s, s * 1e9 / b, p }' 
    done
  done
done
