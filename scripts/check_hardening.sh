#!/usr/bin/env bash
# Reads the protections back from built binaries. ELF files go through
# hardening-check (devscripts): any "no" fails; stack-clash protection may stay
# "unknown", since the tool cannot always see it in a program with no large frame.
# PE files (objdump -p): ASLR with 64-bit entropy, dynamic base and DEP must be
# on, and the header's link time must be zero, as reproducible output needs. Static
# libraries (ar): every object must carry the control-flow marks.
# Usage: scripts/check_hardening.sh FILE...
set -uo pipefail

[[ $# -gt 0 ]] || { echo "usage: $0 FILE..." >&2; exit 2; }

objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)

# A program carries the control-flow mark (IBT, SHSTK) only when every object linked
# into it does, the C library's start files too. Debian 12's do not, so there no
# program can have it, whatever it was compiled with; then the line is only shown.
start_file=$(${CC:-cc} -print-file-name=Scrt1.o 2>/dev/null)
cet_marked=1
if [[ -f $start_file ]] && ! readelf -n "$start_file" 2>/dev/null | grep -q 'x86 feature: IBT, SHSTK'; then
  cet_marked=0
  echo "hardening: $start_file has no IBT/SHSTK mark: control flow integrity cannot show here"
fi
failed=0
bad() { echo "hardening: $*" >&2; failed=1; }

for file in "$@"; do
  [[ -f $file ]] || { bad "$file: no such file"; continue; }
  case $(head -c 4 "$file" | od -An -tx1 | tr -d ' ') in
    7f454c46)
      report=$(hardening-check "$file" 2>&1)
      echo "$report"
      # A shared library is not an executable: its PIE line says so and is ignored.
      lacking=$(grep -E ': no\b' <<<"$report" | grep -v '(ignored)$')
      [[ $cet_marked -eq 0 ]] && lacking=$(grep -v '^ Control flow integrity: no' <<<"$lacking")
      [[ -n $lacking ]] && bad "$file lacks a protection"
      ;;
    4d5a*)
      header=$(TZ=UTC "$objdump" -p "$file" 2>&1) || { bad "$file: objdump cannot read it"; continue; }
      # The file header's time (the export table has one of its own further down).
      stamp=$(awk '/^Time\/Date/ { sub(/^Time\/Date[ \t]*/, ""); print; exit }' <<<"$header")
      flags=$(awk '/^DllCharacteristics/ { on = 1; next } on && /^[ \t]/ { print $1; next } { on = 0 }' <<<"$header")
      echo "$file: Time/Date $stamp; DllCharacteristics $(echo $flags)"
      for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
        grep -qx "$flag" <<<"$flags" || bad "$file lacks $flag"
      done
      # objdump prints a zero stamp as the epoch itself.
      [[ $stamp == 'Thu Jan  1 00:00:00 1970' || $stamp =~ ^0+$ ]] ||
        bad "$file carries a link time ($stamp)"
      ;;
    213c6172)
      # A static library of ours: each object compiled with the control-flow marks, which
      # the linked programs cannot show where the start files lack them.
      members=$(ar t "$file" | grep -c '\.o$')
      marked=$(readelf -n "$file" 2>/dev/null | grep -c 'x86 feature: IBT, SHSTK')
      echo "$file: $marked of $members objects marked IBT, SHSTK"
      [[ $members -gt 0 && $marked -eq $members ]] || bad "$file has objects without control-flow marks"
      ;;
    *) bad "$file is neither ELF, PE nor an archive" ;;
  esac
done

if [[ $failed -ne 0 ]]; then
  echo "hardening: FAIL"
  exit 1
fi
echo "hardening: PASS"
