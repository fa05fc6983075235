#!/usr/bin/env bash
# Sets everything up, builds, and runs every test under Wine (headless, on Xvfb).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
"$ZEB_ROOT/scripts/build.sh"
source "$ZEB_ROOT/scripts/env.sh"
source "$ZEB_ROOT/scripts/display.sh"
zeb_start_display
# One wineserver for the whole run: each test program then starts quickly.
wineserver -p 60 2>/dev/null || true
trap zeb_stop_display EXIT
# Wine's own services start with the first program and keep its output pipes open:
# start them here, so that CTest does not wait for them.
wine cmd /c exit </dev/null >/dev/null 2>&1
ctest --test-dir "$ZEB_BUILD_DIR" --output-on-failure "$@"
