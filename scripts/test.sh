#!/usr/bin/env bash
# Sets everything up, builds both targets and runs every test of each under Wine
# (headless, on Xvfb): the 32-bit build (i686) in a 32-bit Wine prefix, the 64-bit one
# (x86_64) in a 64-bit prefix. The two suites run at the same time, each with its own
# wineserver and its own Xvfb, so neither sees the other's windows; most of a suite's
# time is spent waiting for Wine, not computing. Every line of CTest's output starts with
# its build, and the last lines sum up both. Arguments go to CTest (e.g. -R smoke).
# Then the 32-bit program is built twice more, in new folders, and the two must be
# identical (scripts/reproducible-build.sh). Before the suites, the tests of the scripts
# themselves run (tests/scripts/run.sh).
# On a kernel that cannot start 32-bit programs the 32-bit suite runs under qemu-i386
# (scripts/machine/); where even that is impossible it is not run, and the summary says so
# and why: the run then passes when everything that ran passed.
#   ZEB_TEST_ARCHES="i686"        test only the builds named (default: "i686 x86_64")
#   ZEB_TEST_REPRODUCIBLE="..."   the targets built twice and compared (default: i686; empty: none)
#   ZEB_TEST_SCRIPTS=0            leave out the tests of the scripts
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
read -r -a requested <<<"${ZEB_TEST_ARCHES:-${ZEB_ARCHES[*]}}"
for arch in "${requested[@]}"; do
  ZEB_ARCH="$arch" "$ZEB_ROOT/scripts/build.sh"
done
# The machine asked once, now that set-up has installed what it could; the suites and
# every script they start take its answer from the environment.
source "$ZEB_ROOT/scripts/machine/wine.sh"
source "$ZEB_ROOT/scripts/machine/display.sh"

summary=()
passed=0
failed=0
arches=()
for arch in "${requested[@]}"; do
  reason="$(zeb_cannot_run "$arch")"
  if [ -z "$reason" ]; then
    arches+=("$arch")
  else
    summary+=("$arch ($(zeb_target "$arch" && echo "$ZEB_ARCH_NAME")): not run: $reason")
  fi
done

if [ "${ZEB_TEST_SCRIPTS:-1}" != 0 ]; then
  scripts_log="$ZEB_BUILD_DIR/scripts-tests.log"
  mkdir -p "$ZEB_BUILD_DIR"
  "$ZEB_ROOT/tests/scripts/run.sh" 2>&1 | tee "$scripts_log" | sed -u 's/^/[scripts] /' || true
  read -r passed_here total_here < <(sed -n 's/^scripts: \([0-9]*\) of \([0-9]*\) passed$/\1 \2/p' "$scripts_log") || true
  if [ -z "${total_here:-}" ]; then
    summary+=("the tests of the scripts: no result")
    failed=$((failed + 1))
  else
    summary+=("the tests of the scripts: $passed_here of $total_here passed")
    passed=$((passed + passed_here))
    failed=$((failed + total_here - passed_here))
  fi
  unset passed_here total_here
fi

displays=()
xvfb_pids=()
stop_displays() {
  local pid
  for pid in "${xvfb_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap stop_displays EXIT
# One after the other, so that two suites never race for the same display number.
for arch in "${arches[@]}"; do
  unset DISPLAY
  zeb_start_display
  displays+=("$DISPLAY")
  xvfb_pids+=("$ZEB_XVFB_PID")
done

# One build's suite, its output in $ZEB_ARCH_BUILD_DIR/ctest.log.
run_suite() {  # arch display [CTest arguments]
  set -euo pipefail
  zeb_target "$1"
  export DISPLAY="$2"
  shift 2
  rm -f "$ZEB_ARCH_BUILD_DIR/ctest.log"
  # Emulated, the suite has a namespace of its own (scripts/machine/wine-session), and what the
  # tests mount there only a wineserver of the same namespace sees: one that an earlier
  # run left ends first.
  if [ "$ZEB_ARCH:$ZEB_I386" = i686:emulated ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  # One wineserver per prefix for the whole run: each test program then starts quickly.
  wineserver -p60 2>/dev/null || true
  # Wine's own services start with the first program and keep its output pipes open:
  # start them here, so that CTest does not wait for them.
  wine cmd /c exit </dev/null >/dev/null 2>&1
  ctest --test-dir "$ZEB_ARCH_BUILD_DIR" --output-on-failure "$@" 2>&1 | tee "$ZEB_ARCH_BUILD_DIR/ctest.log"
}

# Each suite in the session of its build (scripts/machine/wine-session).
export -f run_suite zeb_target
export ZEB_ROOT ZEB_CACHE ZEB_BUILD_DIR
suite_pids=()
for i in "${!arches[@]}"; do
  (ZEB_ARCH="${arches[$i]}" "$ZEB_ROOT/scripts/machine/wine-session" bash -c 'run_suite "$@"' run_suite \
    "${arches[$i]}" "${displays[$i]}" "$@" | sed -u "s/^/[${arches[$i]}] /") &
  suite_pids+=($!)
done
statuses=()
for pid in "${suite_pids[@]}"; do
  status=0
  wait "$pid" || status=$?
  statuses+=("$status")
done

for i in "${!arches[@]}"; do
  zeb_target "${arches[$i]}"
  how="$ZEB_ARCH_NAME"
  [ "$ZEB_ARCH:$ZEB_I386" != i686:emulated ] || how+=", under $ZEB_I386_REASON"
  # CTest's own count: "N% tests passed, F tests failed out of T".
  read -r failed_here total_here < <(sed -n 's/^.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*$/\1 \2/p' \
    "$ZEB_ARCH_BUILD_DIR/ctest.log") || true
  if [ -z "${total_here:-}" ]; then
    summary+=("$ZEB_ARCH ($how): no result from CTest (status ${statuses[$i]})")
    failed=$((failed + 1))
  else
    summary+=("$ZEB_ARCH ($how): $((total_here - failed_here)) of $total_here passed")
    passed=$((passed + total_here - failed_here))
    failed=$((failed + failed_here))
    # A failure that CTest did not count (the run itself broke) still fails the whole.
    [ "${statuses[$i]}" = 0 ] || [ "$failed_here" != 0 ] || failed=$((failed + 1))
  fi
  unset failed_here total_here
done
# After the suites, which wait on Wine and would be slowed by two compilers running.
read -r -a reproducible <<<"${ZEB_TEST_REPRODUCIBLE-i686}"
for arch in "${reproducible[@]}"; do
  if "$ZEB_ROOT/scripts/reproducible-build.sh" --arch "$arch"; then
    summary+=("$arch: two builds of the program in two folders are identical")
    passed=$((passed + 1))
  else
    summary+=("$arch: two builds of the program in two folders differ or failed")
    failed=$((failed + 1))
  fi
done
echo
printf 'results: %s\n' "${summary[@]}"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
