#!/usr/bin/env bash
# Sets everything up, builds both targets and runs every test of each under Wine
# (headless, on Xvfb): the 32-bit build (i686) in a 32-bit Wine prefix, the 64-bit one
# (x86_64) in a 64-bit prefix. Every line of CTest's output starts with its build, and
# the last lines sum up both. Arguments go to CTest (e.g. -R smoke).
#   ZEB_TEST_ARCHES="i686"   test only the builds named (default: "i686 x86_64")
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
read -r -a arches <<<"${ZEB_TEST_ARCHES:-${ZEB_ARCHES[*]}}"
for arch in "${arches[@]}"; do
  ZEB_ARCH="$arch" "$ZEB_ROOT/scripts/build.sh"
done
source "$ZEB_ROOT/scripts/display.sh"
zeb_start_display
trap zeb_stop_display EXIT

summary=()
passed=0
failed=0
for arch in "${arches[@]}"; do
  export ZEB_ARCH="$arch"
  source "$ZEB_ROOT/scripts/env.sh"
  # One wineserver per prefix for the whole run: each test program then starts quickly.
  wineserver -p 60 2>/dev/null || true
  # Wine's own services start with the first program and keep its output pipes open:
  # start them here, so that CTest does not wait for them.
  wine cmd /c exit </dev/null >/dev/null 2>&1
  log="$ZEB_ARCH_BUILD_DIR/ctest.log"
  status=0
  ctest --test-dir "$ZEB_ARCH_BUILD_DIR" --output-on-failure "$@" 2>&1 | tee "$log" | sed -u "s/^/[$arch] /" ||
    status=$?
  # CTest's own count: "N% tests passed, F tests failed out of T".
  read -r failed_here total_here < <(sed -n 's/^.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*$/\1 \2/p' "$log") || true
  if [ -z "${total_here:-}" ]; then
    summary+=("$arch ($ZEB_ARCH_NAME): no result from CTest (status $status)")
    failed=$((failed + 1))
  else
    summary+=("$arch ($ZEB_ARCH_NAME): $((total_here - failed_here)) of $total_here passed")
    passed=$((passed + total_here - failed_here))
    failed=$((failed + failed_here))
    [ "$status" = 0 ] || [ "$failed_here" != 0 ] || failed=$((failed + 1))
  fi
  unset failed_here total_here
done
echo
printf 'results: %s\n' "${summary[@]}"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
