#!/usr/bin/env bash
# Sets everything up, serves a generated sample update site with nginx on loopback and
# opens the tool (the 32-bit program, the one users get), built to fetch its catalogue
# there. Without a display it runs the tool on Xvfb, downloads one kit ("Креспа") and
# saves a screenshot.
#   ZEB_SAMPLE_PORT  port of the sample server (default 18080)
#   ZEB_HEADLESS=1   use Xvfb even when a display is available
#   ZEB_ARCH=x86_64  the 64-bit program instead
# On a kernel that cannot start 32-bit programs the 32-bit one runs under qemu-i386
# (scripts/machine/); where even that is impossible, the 64-bit one runs. Either way it
# says so and why. (Sourced, by the tests of the scripts, it only defines its steps.)
set -euo pipefail
# A Wine prefix of its own (made by setup.sh like the tests' one), so that the demo and a
# test suite can run side by side and ending the demo's wineserver ends nothing else.
export ZEB_PREFIX_NAME=sample-wineprefix
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

# The program the demo shows: the one asked for where it runs here, else the 64-bit one.
choose_program() {
  local reason
  source "$ZEB_ROOT/scripts/machine/wine.sh"
  reason="$(zeb_cannot_run "$ZEB_ARCH")"
  if [ -n "$reason" ]; then
    echo "run-sample: $reason; showing the 64-bit program instead" >&2
    zeb_target x86_64
  elif [ "$ZEB_ARCH:$ZEB_I386" = i686:emulated ]; then
    echo "run-sample: this kernel cannot start 32-bit programs: the 32-bit program runs under $ZEB_I386_REASON" >&2
  fi
}

[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

"$ZEB_ROOT/scripts/setup.sh"
arch_asked="$ZEB_ARCH"
choose_program
[ "$ZEB_ARCH" = "$arch_asked" ] || "$ZEB_ROOT/scripts/setup.sh"
source "$ZEB_ROOT/scripts/machine/display.sh"
source "$ZEB_ROOT/scripts/servers/nginx.sh"

port="${ZEB_SAMPLE_PORT:-18080}"
sample="$ZEB_ROOT/build-sample"
build="$sample/$ZEB_ARCH"
site="$sample/sample-site"
base="http://127.0.0.1:$port/ulvooffline/update"

mkdir -p "$build"
cmake -S "$ZEB_ROOT" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$ZEB_TOOLCHAIN" -DZEB_DEPS_DIR="$ZEB_ARCH_CACHE" \
  -DZEB_TLS_DIR="$ZEB_CACHE/tls" \
  -DCATALOG_URL="$base/latest.xml" -Wno-dev >"$build/configure.log" 2>&1 || {
  cat "$build/configure.log" >&2
  echo "run-sample: configuring the build failed (above)" >&2
  exit 1
}
cmake --build "$build" -j"$(nproc)" --target ZebOfflineDownload make_sample drive_sample

cleanup() {
  zeb_nginx_stop
  zeb_stop_display
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

headless=0
if [ "${ZEB_HEADLESS:-0}" = 1 ] || ! { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }; then
  headless=1
  unset DISPLAY
  zeb_start_display
fi
# A wineserver left by an earlier demo (kept for a minute) still serves the desktop of a
# display that is gone, and windows of the tool would go there: end it, so that this run's
# Wine starts on this display. It is the demo prefix's own: a test run has another.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
wineserver -p60 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1

if [ ! -f "$site/.done-$port" ]; then
  rm -rf "$site" && mkdir -p "$site"
  wine "$build/tools/make_sample.exe" "$(winepath -w "$site")" "$base"
  touch "$site/.done-$port"
fi

zeb_nginx_start "$sample/nginx" "  server { listen 127.0.0.1:$port; root $site; }" "$port" || {
  echo "run-sample: nginx cannot serve the sample on port $port (ZEB_SAMPLE_PORT picks another)" >&2
  exit 1
}
program="$build/app/ZebOfflineDownload.exe"
echo "sample update server: $base/latest.xml; the $ZEB_ARCH_NAME program: $program"

if [ "$headless" = 0 ]; then
  wine "$program"
  exit 0
fi

# Headless: a framed window on a Wine desktop, driven like a user would.
output="$sample/sample-output/kit"
rm -rf "$sample/sample-output"
wine explorer /desktop=ZebSample,800x600 "$program" >/dev/null 2>&1 &
program_pid=$!
ZEB_DESKTOP=ZebSample wine "$build/tools/drive_sample.exe" run 4 "$(winepath -w "$output")"
screenshot="$sample/sample-run.png"
import -window root -crop 800x600+0+0 "$screenshot"
ZEB_DESKTOP=ZebSample wine "$build/tools/drive_sample.exe" close
wait "$program_pid" || true
echo "kit downloaded to $output:"
(cd "$output" && find . -type f | sort && echo "ZebDbLst.ini:" && cat ZebDbLst.ini | iconv -f cp1251 -t utf-8)
echo "screenshot: $screenshot"
