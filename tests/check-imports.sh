#!/usr/bin/env bash
# Every program of the build must run with nothing beside Windows' own DLLs.
#   check-imports.sh <objdump of the build's toolchain> <program>...
set -euo pipefail
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|wininet|ws2_32|msvcrt|psapi|shlwapi|crypt32|rpcrt4|api-ms-win-crt-[a-z0-9-]+)\.dll$'
[ $# -ge 1 ] || { echo "usage: $0 <objdump> <program>..."; exit 2; }
objdump="$1"
shift
status=0
count=0
for exe in "$@"; do
  count=$((count + 1))
  # Read first, so that an objdump that fails fails the check instead of listing nothing.
  headers="$("$objdump" -p "$exe")"
  while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
      echo "$(basename "$exe") imports $dll"
      status=1
    fi
  done < <(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
done
[ "$count" -gt 0 ] || { echo "no programs given"; exit 1; }
[ "$status" = 0 ] && echo "$count programs import only Windows' own DLLs"
exit "$status"
