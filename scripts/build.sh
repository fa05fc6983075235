#!/usr/bin/env bash
# Sets everything up and builds the programs, tests and benchmarks into build/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
"$ZEB_ROOT/scripts/setup.sh"
source "$ZEB_ROOT/scripts/env.sh"
cmake -S "$ZEB_ROOT" -B "$ZEB_BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$ZEB_TOOLCHAIN" \
  -DZEB_DEPS_DIR="$ZEB_CACHE" "$@" >/dev/null
cmake --build "$ZEB_BUILD_DIR" -j"$(nproc)"
