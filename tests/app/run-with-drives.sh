#!/usr/bin/env bash
# Runs a test program with two extra Wine drives: a 1 MiB disk (a full disk after the
# first megabyte) and a read-only disk, both small tmpfs mounts mapped in the prefix.
# Where the machine allows no mounting, the program runs without them and its tests
# that need them skip, saying why.
set -uo pipefail
source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/../../scripts/env.sh"
program="$1"
shift
base="$(mktemp -d /tmp/zeb-drives.XXXXXX)"
small="$base/small"
readonly_dir="$base/readonly"
mkdir -p "$small" "$readonly_dir"
links=()
cleanup() {
  for link in "${links[@]}"; do rm -f "$link"; done
  umount "$small" 2>/dev/null
  umount "$readonly_dir" 2>/dev/null
  rm -rf "$base"
}
trap cleanup EXIT

if mount -t tmpfs -o size=1m tmpfs "$small" 2>/dev/null &&
   mount -t tmpfs -o size=64k,ro tmpfs "$readonly_dir" 2>/dev/null; then
  for pair in "s:$small" "r:$readonly_dir"; do
    letter="${pair%%:*}"
    link="$WINEPREFIX/dosdevices/$letter:"
    ln -sfn "${pair#*:}" "$link"
    links+=("$link")
  done
  export ZEB_SMALL_DRIVE="S:" ZEB_READONLY_DRIVE="R:"
else
  export ZEB_DRIVES_SKIPPED="this machine does not allow mounting a small tmpfs, so no full or read-only disk can be made"
fi
"$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/../../scripts/wine-run" "$program" "$@"
