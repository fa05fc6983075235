#!/usr/bin/env bash
# Runs a test program with three extra Wine drives: a 1 MiB disk (a full disk after the
# first megabyte) and a read-only disk, both small tmpfs mounts, and a FAT32 volume (a
# USB stick: an image made by dosfstools, mounted through FUSE by fusefat), all mapped in
# the prefix. Where the machine allows no mounting, the program runs without them and its
# tests that need them skip, saying why.
set -uo pipefail
here="$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")"
source "$here/../../scripts/env.sh"
source "$here/../../scripts/machine/wine.sh"
program="$1"
shift
base="$(mktemp -d /tmp/zeb-drives.XXXXXX)"
small="$base/small"
readonly_dir="$base/readonly"
fat_image="$base/fat32.img"
fat_dir="$base/fat32"
mkdir -p "$small" "$readonly_dir" "$fat_dir"
links=()
cleanup() {
  for link in "${links[@]}"; do rm -f "$link"; done
  umount "$small" 2>/dev/null
  umount "$readonly_dir" 2>/dev/null
  fusermount -u -z "$fat_dir" 2>/dev/null
  rm -rf "$base"
}
trap cleanup EXIT

map() {  # drive letter, folder
  local link="$WINEPREFIX/dosdevices/$1:"
  ln -sfn "$2" "$link"
  links+=("$link")
}

if mount -t tmpfs -o size=1m tmpfs "$small" 2>/dev/null &&
   mount -t tmpfs -o size=64k,ro tmpfs "$readonly_dir" 2>/dev/null; then
  map s "$small"
  map r "$readonly_dir"
  export ZEB_SMALL_DRIVE="S:" ZEB_READONLY_DRIVE="R:"
else
  export ZEB_DRIVES_SKIPPED="this machine does not allow mounting a small tmpfs, so no full or read-only disk can be made"
fi

# 40 MiB, about the least FAT32 allows.
if mkfs.vfat -F 32 -C "$fat_image" 40960 >/dev/null 2>&1 && fusefat -o rw+ "$fat_image" "$fat_dir" >/dev/null 2>&1; then
  map f "$fat_dir"
  export ZEB_FAT32_DRIVE="F:"
else
  export ZEB_FAT32_SKIPPED="this machine cannot make a FAT32 image and mount it through FUSE (dosfstools, fusefat, /dev/fuse)"
fi

# Under emulation the suite's namespace sees only the mounts made before its wineserver
# started: a server of its own, started after them, with Wine's services up before the
# program (as scripts/test.sh starts them for the suite).
if [ "${ZEB_ARCH:-}:${ZEB_I386:-}" = i686:emulated ]; then
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  wine cmd /c exit </dev/null >/dev/null 2>&1
fi
"$here/../../scripts/machine/wine-run" "$program" "$@"
