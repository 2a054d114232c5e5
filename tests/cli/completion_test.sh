#!/usr/bin/env bash
# What the bash completion offers after what was typed.
# Usage: completion_test.sh packaging/completion/vellmor-cli.bash
set -u
completion=$1
failed=0

# The words as bash splits them: "=" is a word of its own.
offers() {
  local expected=$1
  shift
  local got
  got=$(bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _vellmor_cli
                 ((${#COMPREPLY[@]})) && printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
    completion "$completion" vellmor-cli "$@")
  if [[ $got != "$expected" ]]; then
    echo "FAIL: vellmor-cli $* offers '$got', not '$expected'"
    failed=1
  fi
}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/sysfs-one" "$root/sysfs-two"

# After --wait only check is left; seconds are typed, not offered.
offers "--help --json -h check " --wait 3 ''
offers "" --wait ''
offers "--allowed --json " --wait 3 check -
# --csv, --json and --log exclude each other, and what was given is not offered again.
offers "--allowed " watch --csv -
offers "--allowed --csv --json --log " watch -
offers "--allowed " watch --log -
offers "--json " --sysfs-root "$root" list -
offers "list " --sysfs-root "$root" l
offers "$root/sysfs-one $root/sysfs-two " --sysfs-root = "$root/sysfs-"
offers "$root/sysfs-one $root/sysfs-two " list --sysfs-root="$root/sysfs-"
offers "16 32 " digest --length = ''
offers "--allowed --dev-root --json --mount-table " drives --sysfs-root = "$root" -
offers "drives " dr
offers "" list dr
exit $failed
