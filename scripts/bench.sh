#!/usr/bin/env bash
# Builds, then runs the pack benchmark under Wine (headless, on Xvfb) and prints its figures.
# Arguments go to the benchmark: --files N --file-mib M for a smaller pack (default 64 x 16).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
"$ZEB_ROOT/scripts/build.sh"
source "$ZEB_ROOT/scripts/env.sh"
source "$ZEB_ROOT/scripts/display.sh"
zeb_start_display
trap zeb_stop_display EXIT
wineserver -p 60 2>/dev/null || true
# Start Wine's own services first, so that their start-up is not timed.
wine cmd /c exit </dev/null >/dev/null 2>&1
wine "$ZEB_BUILD_DIR/bench/pack_bench.exe" "$@"
