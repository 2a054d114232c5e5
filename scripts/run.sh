#!/usr/bin/env bash
# Installs what is missing, builds Vellmor and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."

# Only what building and running the programs needs; the tests have their own.
scripts/install_deps.sh build ui
cmake --preset default >/dev/null
cmake --build --preset default --target vellmor vellmor-cli

exec build/default/src/qt/vellmor "$@"
