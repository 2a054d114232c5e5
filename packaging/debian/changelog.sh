#!/bin/sh
# Writes CHANGELOG.md's released versions as a Debian changelog, newest first.
# Usage: changelog.sh CHANGELOG.md PACKAGE "Name <mail>" > changelog
set -eu
[ $# -eq 3 ] || { echo "usage: $0 CHANGELOG.md PACKAGE MAINTAINER" >&2; exit 2; }

awk -v package="$2" -v maintainer="$3" '
  function close_entry() {
    if (version == "") return
    cmd = "LC_ALL=C date -u -R -d " date
    cmd | getline stamp
    close(cmd)
    if (stamp == "") { print "changelog: bad date " date > "/dev/stderr"; exit 1 }
    printf "\n -- %s  %s\n", maintainer, stamp
    version = ""
  }
  /^## \[Unreleased\]/ { close_entry(); skipping = 1; next }
  /^## \[/ {
    close_entry()
    if (!match($0, /^## \[[^]]+\] - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$/)) {
      print "changelog: a version heading needs \"## [VERSION] - YYYY-MM-DD\": " $0 > "/dev/stderr"
      exit 1
    }
    version = substr($2, 2, length($2) - 2)
    date = $4
    if (entries++) print ""
    printf "%s (%s) unstable; urgency=medium\n\n", package, version
    skipping = 0
    first = 1
    next
  }
  skipping || version == "" { next }
  /^### / { sub(/^### /, ""); printf "%s  * %s:\n", (first ? "" : "\n"), $0; first = 0; next }
  /^- / { sub(/^- /, ""); print "    - " $0; next }
  /^  [^ ]/ { sub(/^  /, ""); print "      " $0; next }
  /^$/ { next }
  { print "changelog: cannot place this line: " $0 > "/dev/stderr"; exit 1 }
  END {
    close_entry()
    if (!entries) { print "changelog: no released version" > "/dev/stderr"; exit 1 }
  }
' "$1"
