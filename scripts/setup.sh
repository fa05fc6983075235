#!/usr/bin/env bash
# Installs and builds everything the project needs for the target ZEB_ARCH (i686 unless
# set; scripts/env.sh); safe to run any number of times. The packages serve both targets.
# A second run with everything in place takes a few seconds. On a kernel that cannot start
# 32-bit programs it also installs qemu-user (scripts/machine/); where the 32-bit programs
# cannot run at all, their target is set up to be built, without a Wine prefix.
# Sourced (by the tests of the scripts), it only defines its steps.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
source "$ZEB_ROOT/scripts/machine/wine.sh"
source "$ZEB_ROOT/scripts/machine/packages.sh"

log() { echo "setup: $*" >&2; }

# Debian's source package, fetched once for both targets.
fetch_cryptopp_source() {
  local src="$ZEB_CACHE/src/cryptopp"
  [ -f "$src/.done" ] && return
  ensure_source_lists
  log "fetching Debian's Crypto++ source package"
  rm -rf "$src" && mkdir -p "$src"
  (cd "$src" && zeb_apt_source libcrypto++) || exit 1
  touch "$src/.done"
}

build_cryptopp() {
  local prefix="$ZEB_ARCH_CACHE/cryptopp"
  [ -f "$prefix/.done" ] && return
  fetch_cryptopp_source
  log "cross-building Crypto++ for $ZEB_ARCH from Debian's source package (a few minutes, once)"
  local original dir="$ZEB_ARCH_CACHE/src/cryptopp" host="$ZEB_ARCH-w64-mingw32"
  original="$(find "$ZEB_CACHE/src/cryptopp" -mindepth 1 -maxdepth 1 -type d | head -n1)"
  # Its makefile builds in the source folder: each target builds in a copy.
  rm -rf "$dir" && mkdir -p "$(dirname "$dir")" && cp -a "$original" "$dir"
  make -C "$dir" -f GNUmakefile -j"$(nproc)" \
    CXX="$host-g++-posix" AR="$host-ar" RANLIB="$host-ranlib" \
    CXXFLAGS="-O2 -DNDEBUG" static >"$dir.log" 2>&1 \
    || { tail -n 30 "$dir.log"; exit 1; }
  rm -rf "$prefix" && mkdir -p "$prefix/include/cryptopp" "$prefix/lib"
  cp "$dir"/*.h "$prefix/include/cryptopp/"
  cp "$dir"/libcrypto*.a "$prefix/lib/libcryptopp.a"
  rm -rf "$dir"
  touch "$prefix/.done"
}

build_googletest() {
  local prefix="$ZEB_ARCH_CACHE/googletest"
  [ -f "$prefix/.done" ] && return
  log "cross-building GoogleTest for $ZEB_ARCH from /usr/src/googletest"
  local build="$ZEB_ARCH_CACHE/src/googletest-build"
  rm -rf "$build" "$prefix"
  cmake -S /usr/src/googletest -B "$build" -DCMAKE_TOOLCHAIN_FILE="$ZEB_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" >/dev/null
  cmake --install "$build" >/dev/null
  rm -rf "$build"
  touch "$prefix/.done"
}

# The machine asked again now that the packages are there, and what its answer means for
# the runs, in one line.
choose_wine_loaders() {
  zeb_choose_wine
  if ensure_qemu_i386; then zeb_choose_wine; fi
  case "$ZEB_I386" in
    native) ;;
    emulated) log "this kernel cannot start 32-bit programs: the 64-bit ones run through Wine's 64-bit" \
      "loader, the 32-bit ones under $ZEB_I386_REASON in a private namespace";;
    none) log "this machine cannot run 32-bit programs ($ZEB_I386_REASON): the 64-bit ones run through" \
      "Wine's 64-bit loader, the 32-bit ones are built, not run";;
  esac
}

create_wine_prefix() {
  [ -f "$WINEPREFIX/.done" ] && return
  log "creating the $WINEARCH Wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX" && mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >"$ZEB_ARCH_CACHE/wineboot.log" 2>&1 || true
  wineserver -w
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "wineboot made no prefix; what it said ($ZEB_ARCH_CACHE/wineboot.log):"
    tail -n 20 "$ZEB_ARCH_CACHE/wineboot.log" >&2
    exit 1
  fi
  touch "$WINEPREFIX/.done"
}

# Under Xvfb no window manager runs. With managed windows Wine waits 2 s for one each
# time a window closes (every message box, the dialog itself); unmanaged, it draws the
# frames itself and closes windows at once.
# The caption's buttons are glyphs of Marlett (Debian's fonts-wine), which Wine takes from
# the prefix's Fonts folder; without it they show as letters.
configure_wine_prefix() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ ! -f "$fonts/marlett.ttf" ]; then
    mkdir -p "$fonts"
    cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
  fi
  grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null && return
  log "letting Wine draw the window frames itself"
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
}

# A self-signed authority: its key and certificate as $1.key and $1.pem in the folder $3.
make_test_authority() {  # name, subject, folder
  openssl req -x509 -new -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout "$3/$1.key" -out "$3/$1.pem" \
    -subj "$2" -set_serial "0x$(openssl rand -hex 8)" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -addext "subjectKeyIdentifier=hash" 2>/dev/null
}

# A TLS server certificate for one DNS name (also its SubjectAltName), signed by an authority of the folder.
make_test_server_certificate() {  # name, authority, DNS name, folder
  openssl req -new -newkey rsa:2048 -nodes -sha256 -keyout "$4/$1.key" -out "$4/$1.csr" \
    -subj "/O=Zeb tests/CN=$3" 2>/dev/null
  printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature,keyEncipherment" \
    "extendedKeyUsage=serverAuth" "subjectAltName=DNS:$3" "subjectKeyIdentifier=hash" \
    "authorityKeyIdentifier=keyid" > "$4/$1.ext"
  openssl x509 -req -sha256 -days 3000 -in "$4/$1.csr" -CA "$4/$2.pem" -CAkey "$4/$2.key" \
    -set_serial "0x$(openssl rand -hex 8)" -extfile "$4/$1.ext" -out "$4/$1.pem" 2>/dev/null
  rm -f "$4/$1.csr" "$4/$1.ext"
}

# Test certificates for the HTTPS tests, made once: an authority that the tests trust
# inside the Wine prefix only (tests/https/run-https-tests.sh does that), a server
# certificate for localhost signed by it, one for localhost signed by an authority
# that nobody trusts, and one signed by the trusted authority for another name.
# Made again only when one of them would expire within 30 days.
create_test_certificates() {
  local dir="$ZEB_CACHE/tls"
  if [ -f "$dir/.done" ]; then
    local pem valid=1
    for pem in ca untrusted-ca localhost untrusted wrong-name; do
      openssl x509 -checkend 2592000 -noout -in "$dir/$pem.pem" >/dev/null 2>&1 || valid=0
    done
    [ "$valid" = 1 ] && return
  fi
  log "creating the test certificates in $dir"
  local work="$dir.tmp"
  rm -rf "$work" && mkdir -p "$work"
  make_test_authority ca "/O=Zeb tests/CN=Zeb Test Authority" "$work"
  make_test_authority untrusted-ca "/O=Zeb tests/CN=Zeb Untrusted Test Authority" "$work"
  make_test_server_certificate localhost ca localhost "$work"
  make_test_server_certificate untrusted untrusted-ca localhost "$work"
  make_test_server_certificate wrong-name ca wrong.example "$work"
  openssl x509 -in "$work/ca.pem" -outform DER -out "$work/ca.der"
  openssl verify -CAfile "$work/ca.pem" "$work/localhost.pem" "$work/wrong-name.pem" >/dev/null \
    && openssl verify -CAfile "$work/untrusted-ca.pem" "$work/untrusted.pem" >/dev/null \
    || { log "the test certificates do not verify"; exit 1; }
  touch "$work/.done"
  rm -rf "$dir" && mv "$work" "$dir"
}

setup() {
  install_packages
  ensure_locale
  zeb_russian_locale
  choose_wine_loaders
  mkdir -p "$ZEB_CACHE" "$ZEB_ARCH_CACHE"
  build_cryptopp
  build_googletest
  local reason
  reason="$(zeb_cannot_run "$ZEB_ARCH")"
  if [ -z "$reason" ]; then
    create_wine_prefix
    configure_wine_prefix
  else
    log "no $WINEARCH Wine prefix: $reason"
  fi
  create_test_certificates
  log "ready for $ZEB_ARCH (cache: $ZEB_CACHE)"
}

[ "${BASH_SOURCE[0]}" != "$0" ] || setup
