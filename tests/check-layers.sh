#!/usr/bin/env bash
# The layers of the product, each built as its own library, and what each may include:
#   afx <- transfer <- catalog <- jobs <- app (with res)
# and inside transfer its rooms: the shared top (transfer/) <- the network (net) and the
# disk (disk), neither above the other <- the pack (pack) and the plain file (file).
# Every quoted #include of a layer's sources must be found in that layer's folder or in a
# layer below it. The dialog's members that live in transfer/, catalog/ and jobs/ are
# built into app and count as app; their paths are the arguments.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
rooms="transfer transfer/net transfer/disk transfer/pack transfer/file"
declare -A below=(
  [afx]="afx"
  [transfer]="transfer afx"
  [transfer/net]="transfer/net transfer afx"
  [transfer/disk]="transfer/disk transfer afx"
  [transfer/pack]="transfer/pack transfer/net transfer/disk transfer afx"
  [transfer/file]="transfer/file transfer/net transfer/disk transfer afx"
  [catalog]="catalog $rooms afx"
  [jobs]="jobs catalog $rooms afx"
  [app]="app res jobs catalog $rooms afx"
)
declare -A member=()
for path in "$@"; do member["$(cd "$(dirname "$path")" && pwd)/$(basename "$path")"]=1; done
[ ${#member[@]} -gt 0 ] || { echo "no member sources given"; exit 1; }

status=0
files=0
includes=0
for layer in afx $rooms catalog jobs app; do
  for file in "$root/$layer"/*.h "$root/$layer"/*.cpp; do
    [ -e "$file" ] || continue
    files=$((files + 1))
    allowed="${below[$layer]}"
    [ -n "${member[$file]:-}" ] && allowed="${below[app]}"
    while read -r header; do
      includes=$((includes + 1))
      found=0
      for folder in $allowed; do
        [ -f "$root/$folder/$header" ] && { found=1; break; }
      done
      if [ "$found" = 0 ]; then
        echo "${file#$root/} includes \"$header\", which is not in ${allowed// /, }"
        status=1
      fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
  done
done
[ "$status" = 0 ] && echo "$includes includes of $files files each stay within their layer or the layers below"
exit "$status"
