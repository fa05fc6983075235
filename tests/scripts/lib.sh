# Shared by the tests of the scripts: a scratch folder, stand-in commands first on PATH and
# the checks. Sourced; each test file runs in a process of its own (tests/scripts/run.sh).
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/zeb-script-test.XXXXXX")"
export scratch
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin"
# Nothing of a surrounding run: no answer of its probe, no Wine loader of ours on PATH.
unset ZEB_ARCH ZEB_I386 ZEB_I386_REASON ZEB_I386_KERNEL ZEB_WINE32_LOADER ZEB_WINE64_LOADER ZEB_QEMU_I386 WINELOADER
PATH="${PATH//$root\/scripts\/machine\/wine-loader:/}"
export PATH="$scratch/bin:$PATH"
codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"

# stand_in NAME <<'EOF' ... : a command first on PATH, the text its body.
stand_in() {
  { echo '#!/usr/bin/env bash'; cat; } > "$scratch/bin/$1"
  chmod +x "$scratch/bin/$1"
}

# check DESCRIPTION COMMAND...: one case, "ok - ..." or "FAIL - ...".
check() {
  local what="$1"
  shift
  if "$@"; then echo "ok - $what"; else echo "FAIL - $what"; fi
}

# has TEXT FILE: the file holds the text; else shows the file.
has() {
  grep -qF -- "$1" "$2" && return 0
  echo "  '$1' not in $2:"
  sed 's/^/  | /' "$2"
  return 1
}

# Wine's loaders on a kernel without IA-32 emulation: the 32-bit one starts only where a
# binfmt_misc entry hands i386 programs (their ELF header) to $scratch/bin/qemu-i386 with
# the flags POCF, and says so; the 64-bit one says how it was started.
kernel_without_ia32() {
  stand_in loader32 <<'STAND_IN'
[ "$*" != --version ] || echo probe >> "$scratch/probes"
for entry in /proc/sys/fs/binfmt_misc/*; do
  grep -qx "interpreter $scratch/bin/qemu-i386" "$entry" 2>/dev/null && grep -qx "flags: POCF" "$entry" &&
    grep -qx "magic 7f454c4601010100000000000000000002000300" "$entry" && grep -qx enabled "$entry" &&
    { echo "loader32 $*"; exit 0; }
done
echo "$0: cannot execute binary file: Exec format error" >&2
exit 126
STAND_IN
  stand_in loader64 <<'STAND_IN'
echo "loader64 WINELOADER=${WINELOADER:-} $*"
STAND_IN
  export ZEB_WINE32_LOADER="$scratch/bin/loader32" ZEB_WINE64_LOADER="$scratch/bin/loader64"
  export ZEB_QEMU_I386="$scratch/bin/qemu-i386"
}

# A machine's own Debian entry of the release, in a folder of apt lists of the scratch.
# apt-cache offers the release's own qemu-user, 7.2: too old to be used.
release_qemu_is_old() {
  stand_in apt-cache <<'STAND_IN'
[ "$*" = "policy qemu-user" ] && printf 'qemu-user:\n  Installed: (none)\n  Candidate: 1:7.2+dfsg-7\n'
STAND_IN
}

debian_sources() {
  mkdir -p "$scratch/apt/sources.list.d"
  cat > "$scratch/apt/sources.list.d/debian.sources" <<SOURCES
Types: deb
URIs: http://mirror.example/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://mirror.example/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  export ZEB_APT_ETC="$scratch/apt"
}

# Whether this machine lets a user namespace mount a binfmt_misc of its own.
private_binfmt_possible() {
  unshare --user --map-root-user --mount sh -c 'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc' 2>/dev/null
}
