# A kernel that cannot start 32-bit programs (some virtual machines), with Wine's loaders as
# stand-ins: set-up installs qemu-user from the release's backports and chooses the 64-bit
# loader for the 64-bit programs and emulation for the 32-bit ones; the scripts' Wine calls
# then take those ways. Where the machine cannot run 32-bit programs itself, nothing changes.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
kernel_without_ia32
debian_sources
# The release's own qemu-user is 7.2; its backports' one (a stand-in) installs.
release_qemu_is_old
stand_in apt-get <<'STAND_IN'
echo "$*" >> "$scratch/apt-calls"
case "$*" in
  update*) exit 0;;
  *" qemu-user/$(. /etc/os-release && echo "$VERSION_CODENAME")-backports")
    printf '#!/bin/sh\necho "qemu-i386 version 10.0.2 (a stand-in)"\n' > "$scratch/bin/qemu-i386"
    chmod +x "$scratch/bin/qemu-i386"
    exit 0;;
esac
echo "E: Unable to locate package"
exit 100
STAND_IN

# Set-up's choice, then Wine calls as the scripts make them, each output in a file.
(
  source "$root/scripts/setup.sh"
  choose_wine_loaders
  echo "$ZEB_I386" > "$scratch/choice"
  : > "$scratch/probes"
  ZEB_ARCH=x86_64 wineboot -i > "$scratch/wineboot-64" 2>&1
  ZEB_ARCH=x86_64 "$root/scripts/machine/wine-run" test.exe --gtest_color=no > "$scratch/run-64" 2>&1
  ZEB_ARCH=i686 "$root/scripts/machine/wine-run" test.exe --gtest_color=no > "$scratch/run-32" 2>&1
  ZEB_ARCH=i686 source "$root/scripts/run-sample.sh" && choose_program && echo "$ZEB_ARCH" > "$scratch/demo-arch"
) > "$scratch/out" 2>&1

check "set-up adds the release's backports beside its Debian entry and installs qemu-user from there" \
  eval 'has "Suites: $codename-backports" "$scratch/apt/sources.list.d/zeb-backports.sources" &&
    has "URIs: http://mirror.example/debian" "$scratch/apt/sources.list.d/zeb-backports.sources" &&
    ! grep -q "debian-security" "$scratch/apt/sources.list.d/zeb-backports.sources" &&
    grep -qx -- "install -y -qq --no-install-recommends qemu-user/$codename-backports" "$scratch/apt-calls"'
check "64-bit programs go to the 64-bit loader with WINELOADER set, wineboot and CTest's alike" \
  eval 'has "loader64 WINELOADER=$scratch/bin/loader64 wineboot.exe -i" "$scratch/wineboot-64" &&
    has "loader64 WINELOADER=$scratch/bin/loader64 test.exe --gtest_color=no" "$scratch/run-64"'
check "the programs started after set-up's choice take it from the environment, not asking again" \
  eval '[ ! -s "$scratch/probes" ]'
if private_binfmt_possible; then
  check "set-up chooses emulation for the 32-bit programs and says so" \
    eval '[ "$(cat "$scratch/choice")" = emulated ] &&
      has "this kernel cannot start 32-bit programs: the 64-bit ones run through Wine'"'"'s 64-bit loader, the 32-bit ones under qemu-i386 10 in a private namespace" "$scratch/out"'
  check "32-bit programs start through qemu-i386 registered for i386 programs (flags POCF)" \
    has "loader32 test.exe --gtest_color=no" "$scratch/run-32"
  check "the demo shows the 32-bit program under emulation and says so" \
    eval '[ "$(cat "$scratch/demo-arch")" = i686 ] &&
      has "run-sample: this kernel cannot start 32-bit programs: the 32-bit program runs under qemu-i386 10" "$scratch/out"'
else
  check "without a private binfmt_misc set-up says the 32-bit programs cannot run here" \
    eval '[ "$(cat "$scratch/choice")" = none ] && has "no private binfmt_misc for qemu-i386" "$scratch/out"'
fi

# A kernel that starts them: no loader of ours in the way.
stand_in loader32 <<'STAND_IN'
echo "wine-8.0"
STAND_IN
(source "$root/scripts/env.sh" && source "$root/scripts/machine/wine.sh" && echo "$ZEB_I386 $(command -v wine)") \
  > "$scratch/native" 2>&1
check "where the kernel starts 32-bit programs, wine is Wine's own" \
  eval '[ "$(cat "$scratch/native")" = "native $(PATH="${PATH#"$scratch/bin:"}" command -v wine)" ]'

# A fresh machine: a first answer comes before Wine is installed, set-up's after.
(
  export ZEB_WINE32_LOADER="$scratch/bin/not-installed"
  source "$root/scripts/env.sh"
  source "$root/scripts/machine/wine.sh"
  echo "$ZEB_I386" > "$scratch/before-install"
  export ZEB_WINE32_LOADER="$scratch/bin/loader32"
  zeb_choose_wine
  echo "$ZEB_I386 $(command -v wine)"
) > "$scratch/installed" 2>&1
check "once Wine is installed on such a kernel, wine is Wine's own again, not ours that refuses 32-bit" \
  eval '[ "$(cat "$scratch/before-install")" = none ] &&
    [ "$(cat "$scratch/installed")" = "native $(PATH="${PATH#"$scratch/bin:"}" command -v wine)" ]'
