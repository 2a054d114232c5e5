#!/usr/bin/env bash
# Runs COMMAND beside a journald of its own and a journal-remote on 127.0.0.1:19532, in
# private mount, pid and network namespaces: nothing reaches the machine's journal, and
# everything ends with COMMAND. Needs root (CI is).
# Usage: journal_namespace.sh COMMAND [ARG]...
# In COMMAND's environment: VELLMOR_TEST_MACHINE_ID, VELLMOR_TEST_RECEIVED (the file
# journal-remote writes) and VELLMOR_TEST_UPLOAD_URL.
set -euo pipefail

if [[ "${VELLMOR_IN_NAMESPACE:-}" != 1 ]]; then
  exec env VELLMOR_IN_NAMESPACE=1 unshare --mount --pid --net --fork --kill-child --mount-proc \
    bash "$0" "$@"
fi

fail() { echo "journal_namespace: $*" >&2; exit 1; }
# Waits for a sign of readiness, up to 10 s.
await() {
  local what=$1; shift
  for _ in $(seq 1000); do
    "$@" && return 0
    sleep 0.01
  done
  fail "$what did not come up"
}

mount --make-rprivate /
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /var/log
mount -t cgroup2 cgroup2 /sys/fs/cgroup 2>/dev/null ||
  { mount -t tmpfs tmpfs /sys/fs/cgroup && mount -t cgroup2 cgroup2 /sys/fs/cgroup; }
export VELLMOR_TEST_MACHINE_ID=0e11e7c0ffee4a5e9b1a3c0f1ee7d00d
mkdir -p /run/vellmor-test/tmp /var/log/journal
# Scratch files in the private /run; /tmp itself stays, since the checkout may be there.
export TMPDIR=/run/vellmor-test/tmp
echo "$VELLMOR_TEST_MACHINE_ID" >/run/vellmor-test/machine-id
mount --bind /run/vellmor-test/machine-id /etc/machine-id
ip link set lo up

/lib/systemd/systemd-journald >/run/vellmor-test/journald.log 2>&1 &
await journald test -S /run/systemd/journal/socket

export VELLMOR_TEST_RECEIVED=/run/vellmor-test/received/all.journal
export VELLMOR_TEST_UPLOAD_URL=http://127.0.0.1:19532
mkdir -p "$(dirname "$VELLMOR_TEST_RECEIVED")"
/lib/systemd/systemd-journal-remote --listen-http=127.0.0.1:19532 --split-mode=none \
  --output="$VELLMOR_TEST_RECEIVED" >/run/vellmor-test/remote.log 2>&1 &
listening() { [[ -n "$(ss -Hltn 'sport = :19532')" ]]; }
await journal-remote listening

status=0
"$@" || status=$?
if [[ $status -ne 0 ]]; then
  echo "--- journald:" >&2; cat /run/vellmor-test/journald.log >&2
  echo "--- journal-remote:" >&2; cat /run/vellmor-test/remote.log >&2
fi
exit $status
