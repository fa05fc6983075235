# A machine that cannot run 32-bit programs at all: a kernel without IA-32 emulation (Wine's
# loaders as stand-ins) and no qemu-i386 to be had. The test command builds the 32-bit
# program, does not run its suite, says why in its summary and passes; the demo shows the
# 64-bit program and says why.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
kernel_without_ia32
debian_sources
release_qemu_is_old
stand_in apt-get <<'STAND_IN'
case "$*" in update*) exit 0;; esac
echo "E: Unable to locate package qemu-user"
exit 100
STAND_IN

ZEB_TEST_ARCHES=i686 ZEB_TEST_REPRODUCIBLE="" ZEB_TEST_SCRIPTS=0 "$root/scripts/test.sh" > "$scratch/test" 2>&1
status=$?
check "the test command passes with the 32-bit suite not run, and says why in its summary" \
  eval '[ "$status" = 0 ] &&
    has "results: i686 (32-bit): not run: this machine cannot run 32-bit programs (IA-32 emulation off, no qemu-i386)" "$scratch/test" &&
    has "0 passed, 0 failed" "$scratch/test" && has "no win32 Wine prefix" "$scratch/test" &&
    has "build: the 32-bit program is" "$scratch/test"'

(
  ZEB_ARCH=i686
  source "$root/scripts/run-sample.sh"
  choose_program
  echo "$ZEB_ARCH $WINEPREFIX" > "$scratch/demo"
) > "$scratch/out" 2>&1
check "the demo shows the 64-bit program instead, saying why" \
  eval 'has "run-sample: this machine cannot run 32-bit programs (IA-32 emulation off, no qemu-i386); showing the 64-bit program instead" "$scratch/out" &&
    [[ "$(cat "$scratch/demo")" == "x86_64 "*/x86_64/sample-wineprefix ]]'
