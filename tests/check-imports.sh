#!/usr/bin/env bash
# Every program of the build must run with nothing beside Windows' own DLLs.
set -euo pipefail
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|wininet|ws2_32|msvcrt|psapi|shlwapi|crypt32|rpcrt4|api-ms-win-crt-[a-z0-9-]+)\.dll$'
status=0
count=0
for exe in "$@"; do
  count=$((count + 1))
  while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
      echo "$(basename "$exe") imports $dll"
      status=1
    fi
  done < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
done
[ "$count" -gt 0 ] || { echo "no programs given"; exit 1; }
[ "$status" = 0 ] && echo "$count programs import only Windows' own DLLs"
exit "$status"
