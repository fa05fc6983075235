#!/usr/bin/env bash
# Sets everything up and builds the programs, tests and benchmarks of one target into
# build/<target>/: the 32-bit program (i686), the one users get, unless asked otherwise.
#   scripts/build.sh [--arch i686|x86_64] [CMake options, e.g. -DCATALOG_URL=...]
# --arch x86_64 builds the 64-bit program; ZEB_ARCH in the environment does the same.
set -euo pipefail
if [ "${1:-}" = --arch ]; then
  [ $# -ge 2 ] || { echo "usage: $0 [--arch i686|x86_64] [CMake options]" >&2; exit 2; }
  export ZEB_ARCH="$2"
  shift 2
fi
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
"$ZEB_ROOT/scripts/setup.sh"
cmake -S "$ZEB_ROOT" -B "$ZEB_ARCH_BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$ZEB_TOOLCHAIN" \
  -DZEB_DEPS_DIR="$ZEB_ARCH_CACHE" -DZEB_TLS_DIR="$ZEB_CACHE/tls" "$@" >/dev/null
cmake --build "$ZEB_ARCH_BUILD_DIR" -j"$(nproc)"
echo "build: the $ZEB_ARCH_NAME program is $ZEB_ARCH_BUILD_DIR/app/ZebOfflineDownload.exe"
