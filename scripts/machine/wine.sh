# Which Wine loader runs each target's programs on this machine. Sourced, after
# scripts/env.sh, by the scripts that run Windows programs, once their set-up is done.
# Debian's `wine` command starts Wine's 32-bit loader first whenever wine32 is installed. On a
# kernel that cannot start i386 programs (some virtual machines: their hypervisor refuses
# the 32-bit mode, whatever the kernel's config says) that loader fails at once with "Exec
# format error" (status 126), and with it every wine, wineboot and winepath call, 64-bit
# prefixes included. One probe, the loader's --version, tells. Where it fails:
#   64-bit programs  go to Wine's 64-bit loader, started directly, WINELOADER set to it;
#   32-bit programs  run under qemu-i386 (8 or later), which a private binfmt_misc hands
#                    Wine's 32-bit loader to (wine-session); where no such
#                    namespace or emulator can be had, they do not run at all.
# wine-loader/ holds the `wine`, `wine-stable` (which wineboot and winepath start) and
# `wineserver` that do this; it goes first on PATH on such a machine only, so that no
# other script needs to know.
# The probe runs once, where the answer is not in the environment yet, and the answer is
# passed on to everything the run starts; it lives there, never in the dependency cache,
# which may move to another machine. Set-up asks again after it has installed packages.
#   ZEB_I386          native, emulated or none
#   ZEB_I386_REASON   emulated: the emulator, "qemu-i386 10"; none: why, in a few words
#   ZEB_I386_KERNEL   yes or no: whether the kernel starts the loader; unknown without one

ZEB_WINE32_LOADER="${ZEB_WINE32_LOADER:-/usr/lib/wine/wine}"
ZEB_WINE64_LOADER="${ZEB_WINE64_LOADER:-/usr/lib/wine/wine64}"
ZEB_QEMU_I386="${ZEB_QEMU_I386:-$(command -v qemu-i386 || echo /usr/bin/qemu-i386)}"
export ZEB_WINE32_LOADER ZEB_WINE64_LOADER ZEB_QEMU_I386

# The major version of qemu-i386, empty without one.
zeb_qemu_i386_major() {
  [ -x "$ZEB_QEMU_I386" ] || return 0
  "$ZEB_QEMU_I386" --version 2>/dev/null | sed -n '1s/^qemu-i386 version \([0-9]*\)\..*$/\1/p'
}

zeb_probe_i386() {
  local out status=0 major why
  ZEB_I386=none ZEB_I386_REASON="" ZEB_I386_KERNEL=unknown
  export ZEB_I386 ZEB_I386_REASON ZEB_I386_KERNEL
  if [ ! -e "$ZEB_WINE32_LOADER" ]; then
    ZEB_I386_REASON="Wine's 32-bit loader $ZEB_WINE32_LOADER is not installed"
    return
  fi
  out="$("$ZEB_WINE32_LOADER" --version 2>&1)" || status=$?
  if [ "$status" = 0 ]; then
    ZEB_I386=native ZEB_I386_KERNEL=yes
    return
  fi
  if [ "$status" != 126 ]; then
    ZEB_I386_REASON="Wine's 32-bit loader fails (status $status: $(head -n1 <<<"$out" | cut -c1-100))"
    return
  fi
  ZEB_I386_KERNEL=no
  major="$(zeb_qemu_i386_major)"
  if [ -z "$major" ]; then
    ZEB_I386_REASON="IA-32 emulation off, no qemu-i386"
  elif [ "$major" -lt 8 ]; then
    ZEB_I386_REASON="IA-32 emulation off, qemu-i386 $major is older than 8"
  elif ! why="$("$ZEB_ROOT/scripts/machine/wine-session" --check 2>&1)"; then
    ZEB_I386_REASON="IA-32 emulation off, no private binfmt_misc for qemu-i386: $(tail -n1 <<<"$why" | cut -c1-100)"
  else
    ZEB_I386=emulated ZEB_I386_REASON="qemu-i386 $major"
  fi
}

# Empty when the target's programs run here, else why not.
zeb_cannot_run() {  # arch
  [ "$1" = i686 ] && [ "$ZEB_I386" = none ] && echo "this machine cannot run 32-bit programs ($ZEB_I386_REASON)"
  return 0
}

ZEB_WINE_LOADER_DIR="$ZEB_ROOT/scripts/machine/wine-loader"
# Ours first on PATH where the kernel does not start Wine's own; where it does, ours goes
# again (an answer before Wine was installed put it there, and it refuses the 32-bit target).
zeb_put_loaders_on_path() {
  PATH="${PATH//$ZEB_WINE_LOADER_DIR:/}"
  [ "$ZEB_I386" = native ] || export PATH="$ZEB_WINE_LOADER_DIR:$PATH"
}
# The machine asked again: set-up, once it has installed what was missing.
zeb_choose_wine() {
  zeb_probe_i386
  zeb_put_loaders_on_path
}

[ -n "${ZEB_I386:-}" ] || zeb_probe_i386
zeb_put_loaders_on_path
