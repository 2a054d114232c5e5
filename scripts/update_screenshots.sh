#!/usr/bin/env bash
# Copies the window pictures that the test command's own window runs save into
# docs/images/, where the README shows them:
#   linux-mainw.png, linux-about.png      from the Qt window tests (build/ci/tests/qt)
#   windows-mainw.png, windows-about.png  from scripts/check_windows.sh under wine
#                                         (build/mingw/screenshots)
# Run scripts/test.sh first (or the two window tests and scripts/check_windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A pictures=(
  [linux-mainw.png]=build/ci/tests/qt/MainW.png
  [linux-about.png]=build/ci/tests/qt/About.png
  [windows-mainw.png]=build/mingw/screenshots/mainw.png
  [windows-about.png]=build/mingw/screenshots/about.png
)

missing=0
for target in "${!pictures[@]}"; do
  source=${pictures[$target]}
  if [[ ! -s $source ]]; then
    echo "update_screenshots: $source is missing; run scripts/test.sh first" >&2
    missing=1
  elif ! file "$source" | grep -q 'PNG image data'; then
    echo "update_screenshots: $source is not a PNG" >&2
    missing=1
  fi
done
[[ $missing -eq 0 ]] || exit 1

mkdir -p docs/images
for target in "${!pictures[@]}"; do
  cp "${pictures[$target]}" "docs/images/$target"
  echo "docs/images/$target <- ${pictures[$target]}"
done
