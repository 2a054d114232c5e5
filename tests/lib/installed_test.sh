#!/usr/bin/env bash
# Installs libvellmor from a build tree into a throwaway prefix, builds the C test once
# with pkg-config and once through find_package, and runs it, the examples and the
# symbol check against mock device lists served by umockdev.
# Usage: tests/lib/installed_test.sh BUILD_DIR VELLMOR_CLI
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "$1")
cli=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

prefix=$work/prefix
for component in library development; do
  cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
library=$(find "$prefix" -name 'libvellmor.so.1' | head -n 1)
libdir=$(dirname "$library")

# Nothing but the header's names may be exported.
others=$(nm -D --defined-only "$library" | awk '{ print $3 }' | grep -v '^vellmor_' || true)
if [[ -n $others ]]; then
  echo "exported besides vellmor_*:" $others
  exit 1
fi

export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Wpedantic -Werror -o c_test_pkg_config \
  "$source_dir/tests/lib/vellmor_c_test.c" $(pkg-config --cflags --libs vellmor) \
  -Wl,-rpath,"$libdir"
# Installed under /usr (as the Debian package is), it names no system folder.
DESTDIR=$work/staged cmake --install "$build" --prefix /usr --component development >/dev/null
system_flags=$(PKG_CONFIG_PATH=$(dirname "$(find "$work/staged" -name vellmor.pc)") \
  pkg-config --cflags --libs vellmor)
if [[ $(echo $system_flags) != "-lvellmor" ]]; then
  echo "pkg-config for /usr prints '$system_flags', not just -lvellmor"
  exit 1
fi
cmake -S "$source_dir/tests/lib/consumer" -B consumer -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_RPATH="$libdir" >/dev/null
cmake --build consumer >/dev/null

# Device lists in a folder that umockdev puts in place of /sys: none, a stick, and
# one that cannot be read (its list is a file).
stick=4C530001231120115142
tree() {
  mkdir -p "$1/sys/bus/usb/devices"
}
tree none
tree one
device=one/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2
mkdir -p "$device"
printf '\x12\x01\x00\x02\x00\x00\x00\x40\x81\x07\x67\x55\x00\x01\x01\x02\x03\x01' >"$device/descriptors"
printf '\x09\x02\x12\x00\x01\x01\x00\x80\x32\x09\x04\x00\x00\x02\x08\x06\x50\x00' >>"$device/descriptors"
echo "$stick" >"$device/serial"
ln -s ../../../devices/pci0000:00/0000:00:14.0/usb1/1-2 one/sys/bus/usb/devices/1-2
mkdir -p unreadable/sys/bus/usb
touch unreadable/sys/bus/usb/devices
in_tree() {
  local dir=$1
  shift
  UMOCKDEV_DIR=$work/$dir umockdev-wrapper "$@"
}

failed=0
expect() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failed=1; fi
}

for program in ./c_test_pkg_config consumer/vellmor_c_test; do
  expect "$program: this machine" "$program" "$cli"
  expect "$program: a stick" in_tree one "$program" "$cli" 0 "$stick"
done
expect "no device" in_tree none ./c_test_pkg_config "$cli" 1
expect "an unreadable device list" in_tree unreadable ./c_test_pkg_config "$cli" 3

digest=$("$cli" digest "$stick")
expect "licence_check: the stick's digest, lower case" \
  in_tree one consumer/licence_check 0123456789abcdef0123456789abcdef "${digest,,}"
status_of() {
  local status=0
  "$@" >/dev/null || status=$?
  echo "$status"
}
expect "licence_check: another digest" \
  test "$(status_of in_tree one consumer/licence_check 0123456789abcdef0123456789abcdef)" = 1

python_lines=$(in_tree one python3 "$source_dir/examples/serial_and_digest.py" "$library")
expect "serial_and_digest.py prints what vellmor-cli prints" \
  test "$python_lines" = "$(in_tree one "$cli" 2>/dev/null)"
exit $failed
