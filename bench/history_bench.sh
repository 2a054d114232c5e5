#!/usr/bin/env bash
# `history` against one pass of journalctl over the same journal: 1,000,000 entries of
# other services and 10,000 of the tool's events and kernel lines about sticks, written
# by systemd-journal-remote and bind-mounted over /var/log/journal in a private mount
# namespace, so both read it as the system's journal. Needs root (unshare).
# Usage: bench/history_bench.sh VELLMOR_CLI [OTHER_ENTRIES]
set -euo pipefail
cli=$(realpath "$1")
others=${2:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$others" >"$work/entries.export" <<'PY'
import sys
others = int(sys.argv[1])
boot = "0123456789abcdef0123456789abcdef"
start = 1764580000000000
out = sys.stdout
sticks = 2000  # 2,000 plug-ins: 4 kernel lines and 1 own event each, 10,000 entries
every = max(1, others // sticks)
n = 0
def entry(t, fields):
    out.write(f"__REALTIME_TIMESTAMP={start + t * 1000}\n__MONOTONIC_TIMESTAMP={t * 1000 + 1}\n"
              f"_BOOT_ID={boot}\n{fields}\n")
for i in range(others):
    entry(n, f"_TRANSPORT=journal\nSYSLOG_IDENTIFIER=service{i % 50}\n"
             f"MESSAGE=request {i} served in {i % 97} ms\n")
    n += 1
    if i % every == 0 and i // every < sticks:
        k = i // every
        port = f"1-{k % 6 + 1}"
        serial = f"AA{k % 300:010d}"
        for message in (f"usb {port}: New USB device found, idVendor=0781, idProduct=5567",
                        f"usb {port}: SerialNumber: {serial}",
                        f"usb-storage {port}:1.0: USB Mass Storage device detected",
                        f"usb {port}: USB disconnect, device number 5"):
            entry(n, f"_TRANSPORT=kernel\n_KERNEL_SUBSYSTEM=usb\nMESSAGE={message}\n")
            n += 1
        entry(n, "_TRANSPORT=journal\nMESSAGE_ID=c7baa10749b444458edb161f02d96763\n"
                 f"VELLMOR_EVENT=arrived\nVELLMOR_SERIAL={serial}\nVELLMOR_VENDOR_ID=0781\n"
                 "VELLMOR_PRODUCT_ID=5567\nVELLMOR_NOTES=\n")
        n += 1
PY
mkdir -p "$work/journal"
/usr/lib/systemd/systemd-journal-remote --split-mode=none \
  --output="$work/journal/system.journal" "$work/entries.export" 2>/dev/null
rm "$work/entries.export"
du -sh "$work/journal"

unshare -m bash -s "$cli" "$work/journal" <<'SH'
set -euo pipefail
mkdir -p /var/log/journal
mount --bind "$2" /var/log/journal
mount -t tmpfs tmpfs /run/log 2>/dev/null || true
for run in 1 2 3; do
  /usr/bin/time -f "history: %e s wall, %M kB" "$1" history --json >/tmp/history_bench.json
  /usr/bin/time -f "journalctl, one pass: %e s wall, %M kB" journalctl -q -o export >/dev/null
done
python3 -c 'import json; print(len(json.load(open("/tmp/history_bench.json"))["sticks"]), "sticks")'
SH
