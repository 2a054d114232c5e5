#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those that are missing.
# Usage: install_deps.sh GROUP...   (groups: build ui test windows fuzz analysis package)
set -euo pipefail

declare -A groups=(
  [build]="cmake ninja-build g++ pkg-config libblkid-dev libmount-dev libudev-dev libsystemd-dev scdoc"
  [ui]="qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev fonts-arphic-uming qt6-translations-l10n"
  [test]="googletest libgtest-dev libgmock-dev libbenchmark-dev libssl-dev xvfb xauth umockdev libumockdev-dev python3 nlohmann-json3-dev systemd-journal-remote usbguard"
  [windows]="g++-mingw-w64-x86-64 mingw-w64-tools wine64 locales nsis xvfb xauth fonts-arphic-uming fonts-wine file"
  [fuzz]="clang libclang-rt-14-dev libssl-dev"
  [analysis]="clang-tidy cppcheck"
  [package]="dpkg-dev file desktop-file-utils appstream lintian groff-base devscripts diffoscope-minimal systemd"
)

wanted=()
for group in "$@"; do
  [[ -n "${groups[$group]:-}" ]] || { echo "install_deps: unknown group '$group'" >&2; exit 2; }
  read -r -a pkgs <<<"${groups[$group]}"
  wanted+=("${pkgs[@]}")
done

missing=()
for pkg in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
