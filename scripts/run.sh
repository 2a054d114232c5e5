#!/usr/bin/env bash
# Installs what is missing, builds Vellmor and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install_deps.sh build ui test
cmake --preset default >/dev/null
cmake --build --preset default --target vellmor vellmor-cli

exec build/default/src/qt/vellmor "$@"
