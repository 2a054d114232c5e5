#!/bin/sh
# `history` by a user who may not read the system journal: an error and status 3, not an
# empty list. Root reads any file, so as root the program runs as nobody.
# Usage: history_access_test.sh VELLMOR_CLI
cli=$1
machine=$(cat /etc/machine-id 2>/dev/null) || { echo "no machine id: skipped"; exit 77; }
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
chmod 755 "$dir"
mkdir -p "$dir/var/$machine"
: > "$dir/var/$machine/system.journal"
chmod 000 "$dir/var/$machine/system.journal"
as=
if [ "$(id -u)" = 0 ]; then
  as="setpriv --reuid=65534 --regid=65534 --clear-groups"
  # The build's folders may be closed to nobody.
  cp "$cli" "$dir/vellmor-cli" && cli=$dir/vellmor-cli
fi
VELLMOR_TEST_JOURNAL_ROOTS="$dir/var:$dir/run" $as "$cli" history
echo "status $?"
