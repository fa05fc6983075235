#!/usr/bin/env bash
# Screenshots of the idle dialog of the 32-bit program under Wine at 96 and at 144 DPI
# (HKCU\Control Panel\Desktop\LogPixels) as docs/dialog-96dpi.png and docs/dialog-144dpi.png.
# Runs in a Wine prefix of its own, so the tests' prefix keeps its DPI, on a private Xvfb.
set -euo pipefail
export ZEB_PREFIX_NAME=dpi-wineprefix ZEB_ARCH=i686
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
"$ZEB_ROOT/scripts/build.sh" >/dev/null
source "$ZEB_ROOT/scripts/machine/wine.sh"
# The same dialog, where this machine cannot run the 32-bit program.
reason="$(zeb_cannot_run "$ZEB_ARCH")"
if [ -n "$reason" ]; then
  echo "dpi-screenshots: $reason; the 64-bit program's dialog instead" >&2
  zeb_target x86_64
  "$ZEB_ROOT/scripts/build.sh" >/dev/null
fi
source "$ZEB_ROOT/scripts/machine/display.sh"
trap zeb_stop_display EXIT

unset DISPLAY
zeb_start_display
for dpi in 96 144; do
  # Wine reads the DPI when its first program starts: a new wineserver for each.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  wine explorer /desktop=ZebDpi,1024x768 "$ZEB_ARCH_BUILD_DIR/app/ZebOfflineDownload.exe" >/dev/null 2>&1 &
  program=$!
  ZEB_DESKTOP=ZebDpi wine "$ZEB_ARCH_BUILD_DIR/tools/drive_sample.exe" wait
  sleep 1  # its first paint
  # The desktop's colour around the dialog is cut away.
  import -window root -crop 1024x768+0+0 png:- |
    convert png:- -bordercolor '#256F95' -border 1 -fuzz 2% -trim +repage "$ZEB_ROOT/docs/dialog-${dpi}dpi.png"
  ZEB_DESKTOP=ZebDpi wine "$ZEB_ARCH_BUILD_DIR/tools/drive_sample.exe" close
  wait "$program" || true
  echo "docs/dialog-${dpi}dpi.png: $(identify -format '%wx%h' "$ZEB_ROOT/docs/dialog-${dpi}dpi.png")"
done
wineserver -k 2>/dev/null || true
