#!/usr/bin/env bash
# What a rebuild elsewhere and later would change, looked for in the shipped files of
# one build: a program or library that names the folder it was built in, an archive
# member dated by the build's clock instead of SOURCE_DATE_EPOCH (the last commit's
# date unless given). Seconds, where scripts/check_reproducible.sh's whole rebuild takes
# minutes; the rebuild still belongs to a release (docs/hardening.md).
# Usage: scripts/check_build_traces.sh BUILD_DIR FILE...   (.deb and .zip are archives)
set -uo pipefail
cd "$(dirname "$0")/.."

[[ $# -ge 2 ]] || { echo "usage: $0 BUILD_DIR FILE..." >&2; exit 2; }
build=$(cd "$1" && pwd -P) || exit 2
shift
source_dir=$(pwd -P)
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null)}
[[ $epoch =~ ^[0-9]+$ ]] || { echo "traces: no SOURCE_DATE_EPOCH and no commit to take it from" >&2; exit 2; }

failed=0
bad() { echo "traces: $*" >&2; failed=1; }

# Member times as seconds since the epoch, one a line. ZIP times are local and to the
# even second, so they are read in this time zone, as cpack wrote them.
member_times() {
  case $1 in
    *.deb) dpkg-deb --fsys-tarfile "$1" | tar -t -v --full-time -f - |
             awk '{ print $4 " " $5 }' | while read -r day time; do date -d "$day $time" +%s; done ;;
    *.zip) zipinfo -T "$1" | awk 'NF >= 8 && $7 ~ /^[0-9]+\.[0-9]+$/ && length($7) == 15 { print $7 }' |
             while read -r stamp; do
               date -d "${stamp:0:8} ${stamp:9:2}:${stamp:11:2}:${stamp:13:2}" +%s
             done ;;
  esac
}

for file in "$@"; do
  [[ -f $file ]] || { bad "$file is missing"; continue; }
  case $file in
    *.deb | *.zip)
      times=$(member_times "$file")
      [[ -n $times ]] || { bad "$file: no member times could be read"; continue; }
      late=$(awk -v limit=$((epoch + 2)) '$1 > limit' <<<"$times" | wc -l)
      if [[ $late -gt 0 ]]; then
        bad "$file: $late members dated after SOURCE_DATE_EPOCH ($(date -u -d "@$epoch" +%FT%TZ))"
      else
        echo "ok: $(basename "$file"): every member dated by SOURCE_DATE_EPOCH or before"
      fi
      ;;
    *)
      # Debug information and assertions keep paths; the prefix maps turn both folders
      # into "." (cmake/hardening.cmake).
      named=()
      for folder in "$source_dir" "$build"; do
        grep -q -a -F -- "$folder" "$file" && named+=("$folder")
      done
      if [[ ${#named[@]} -gt 0 ]]; then
        bad "$file names the folder it was built in: ${named[*]}"
      else
        echo "ok: $(basename "$file") names no build folder"
      fi
      ;;
  esac
done
[[ $failed -eq 0 ]]
