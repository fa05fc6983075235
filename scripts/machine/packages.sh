# The machine's packages: what the project installs, the Russian locale, Debian's source
# lists and, where the kernel cannot start 32-bit programs, qemu-user. Sourced by
# scripts/setup.sh (after scripts/env.sh and wine.sh), never run.
source "$(dirname "${BASH_SOURCE[0]}")/apt.sh"

# wine32 (from Debian's i386 architecture) runs the 32-bit programs in a 32-bit prefix;
# osslsigncode signs a release (scripts/signing.sh) and checks signatures in the tests,
# where SoftHSM and OpenSSL's PKCS#11 engine stand in for a publisher's hardware token;
# nginx and Apache serve the tests' sites, and dosfstools and fusefat make and mount the
# FAT32 volume of the fault tests.
APT_PACKAGES=(
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-tools
  wine wine64 wine32:i386 fonts-wine xvfb xauth x11-utils imagemagick locales
  cmake make dpkg-dev googletest nginx-light apache2 dosfstools fusefat openssl curl ca-certificates iproute2 gawk git zip
  osslsigncode softhsm2 libengine-pkcs11-openssl
)

install_packages() {
  local missing=()
  for p in "${APT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    zeb_apt_log "adding Debian's i386 architecture (for wine32)"
    dpkg --add-architecture i386
  fi
  zeb_apt_log "installing ${missing[*]}"
  zeb_apt_update
  # The services these packages bring (nginx, Apache) are not started: the tests and the
  # demo run their own on ports of their own, and two on port 80 would fail the install.
  local policy="${ZEB_POLICY_RC:-/usr/sbin/policy-rc.d}" made="" status=0
  if [ ! -e "$policy" ] && printf '#!/bin/sh\nexit 101\n' > "$policy" 2>/dev/null && chmod +x "$policy"; then
    made=1
  fi
  zeb_apt_install "${missing[@]}" || status=$?
  [ -z "$made" ] || rm -f "$policy"
  [ "$status" = 0 ] || exit 1
}

ensure_locale() {
  locale -a 2>/dev/null | grep -qix 'ru_RU.utf8' && return
  zeb_apt_log "generating ru_RU.UTF-8"
  sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
}

# Source lists are derived from the machine's own binary lists, so no package host is named here.
ensure_source_lists() {
  local list="$ZEB_APT_ETC/sources.list.d/zeb-deb-src.sources"
  [ -f "$list" ] && return
  zeb_apt_log "enabling source package lists"
  : > "$list.tmp"
  for f in "$ZEB_APT_ETC"/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    case "$f" in */zeb-*) continue;; esac
    # Only Debian's own archives carry the source packages we need.
    grep -q 'debian-archive-keyring' "$f" || continue
    sed -n '/^Types:/{s/^Types:.*/Types: deb-src/};p' "$f" >> "$list.tmp"
    echo >> "$list.tmp"
  done
  if [ -f "$ZEB_APT_ETC/sources.list" ]; then
    sed -n 's/^deb \(.*\)$/deb-src \1/p' "$ZEB_APT_ETC/sources.list" > "$ZEB_APT_ETC/sources.list.d/zeb-deb-src.list"
  fi
  mv "$list.tmp" "$list"
  zeb_apt_update
}

# qemu-user 8 or later, where the kernel cannot start 32-bit programs: the release's own
# when it is new enough, else its backports' (bookworm's own 7.2 runs Wine about 20 times
# slower). It is statically linked and pulls in nothing; its recommended qemu-user-binfmt,
# which would hand i386 programs to it machine-wide, is left out.
# Fails when there was nothing to install.
ensure_qemu_i386() {
  [ "$ZEB_I386" = none ] && [ "$ZEB_I386_KERNEL" = no ] || return 1
  local major candidate
  major="$(zeb_qemu_i386_major)"
  [ -z "$major" ] || [ "$major" -lt 8 ] || return 1
  candidate="$(apt-cache policy qemu-user 2>/dev/null | sed -n 's/^ *Candidate: \([0-9]*:\)\{0,1\}\([0-9]*\).*$/\2/p')"
  if [ -n "$candidate" ] && [ "$candidate" -ge 8 ]; then
    zeb_apt_log "installing qemu-user $candidate, for the 32-bit programs"
    zeb_apt_install qemu-user || true
  elif zeb_apt_enable_backports; then
    zeb_apt_log "installing qemu-user from $(zeb_codename)-backports, for the 32-bit programs"
    zeb_apt_install "qemu-user/$(zeb_codename)-backports" || true
  else
    return 1
  fi
}
