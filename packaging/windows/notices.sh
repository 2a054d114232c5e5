#!/bin/sh
# Writes the notices for what the mingw-w64 toolchain links into the Windows programs:
# the parts of Debian's mingw-w64 copyright file that cover the C runtime (mingw-w64-crt)
# and winpthreads, with every licence text they name.
# Usage: notices.sh [COPYRIGHT_FILE] > THIRD-PARTY-NOTICES.txt
set -eu
copyright=${1:-/usr/share/doc/mingw-w64-common/copyright}
[ -r "$copyright" ] || { echo "notices: cannot read $copyright (mingw-w64-common)" >&2; exit 1; }

cat <<'HEAD'
Third-party notices for Vellmor for Windows
===========================================

Vellmor.exe and vellmor-cli.exe are under the MIT licence (LICENSE.txt). They
are linked statically with parts of the mingw-w64 runtime: its C runtime
start-up and support code (mingw-w64-crt) and its POSIX threads library
(winpthreads). Their copyright notices and licences follow, as Debian's
mingw-w64 package records them.

The GCC runtime libraries linked in as well (libgcc, libstdc++) are under the
GNU General Public License version 3 with the GCC Runtime Library Exception,
which asks for no notice in programs built with GCC.

HEAD

awk '
  BEGIN { RS = ""; FS = "\n" }
  function covered(files,    n, i, parts) {
    n = split(files, parts, /[ \t\n]+/)
    for (i = 1; i <= n; i++) {
      if (parts[i] == "*") return 1
      if (parts[i] ~ /^mingw-w64-crt\//) return 1
      if (parts[i] ~ /^mingw-w64-libraries\/winpthreads\// && parts[i] !~ /tests_pthread/) return 1
    }
    return 0
  }
  /^Files:/ {
    files = $0
    sub(/\nCopyright:.*/, "", files)
    sub(/^Files:/, "", files)
    if (!covered(files)) next
    print "----------------------------------------------------------------------\n"
    print $0 "\n"
    for (i = 1; i <= NF; i++) {
      if ($i ~ /^License:/) {
        names = $i
        sub(/^License:[ \t]*/, "", names)
        n = split(names, parts, /[ \t]+(and|or)[ \t]+/)
        for (j = 1; j <= n; j++) wanted[parts[j]] = 1
      }
    }
    next
  }
  /^License:/ {
    name = $1
    sub(/^License:[ \t]*/, "", name)
    texts[name] = $0
    order[++count] = name
  }
  END {
    for (k = 1; k <= count; k++) {
      if (order[k] in wanted) {
        print "----------------------------------------------------------------------\n"
        print texts[order[k]] "\n"
      }
    }
  }
' "$copyright"
