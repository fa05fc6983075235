# Shared settings of the scripts: the target, where the dependency cache, the builds and
# the Wine prefixes live. Sourced, never run. Which Wine loader runs the programs here is
# the machine's business (scripts/machine/wine.sh), asked by the scripts that run them.
ZEB_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The targets: i686 (32-bit Windows, the program users get; it runs on 64-bit Windows
# too) and x86_64. Every target has its own toolchain, dependencies, build and Wine prefix.
ZEB_ARCHES=(i686 x86_64)
# Bump when the way a dependency is built changes, so old caches are not reused.
ZEB_DEPS_VERSION=1
ZEB_CACHE_ROOT="${ZEB_CACHE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/zeb-offline}"
# Shared by the targets: downloaded sources and the test certificates.
ZEB_CACHE="$ZEB_CACHE_ROOT/deps-v$ZEB_DEPS_VERSION"
# The builds: one folder per target below ZEB_BUILD_DIR.
ZEB_BUILD_DIR="${ZEB_BUILD_DIR:-$ZEB_ROOT/build}"

# Makes ARCH the target of what follows: its toolchain, cache, build folder and Wine prefix
# (the tests' one, unless ZEB_PREFIX_NAME names another: the demo's windows and wineserver
# then never meet a test run's).
zeb_target() {  # i686|x86_64
  case "$1" in
    i686) ZEB_WINEARCH=win32 ZEB_ARCH_NAME="32-bit";;
    x86_64) ZEB_WINEARCH=win64 ZEB_ARCH_NAME="64-bit";;
    *) echo "ZEB_ARCH must be one of ${ZEB_ARCHES[*]}, not '$1'" >&2; return 1;;
  esac
  export ZEB_ARCH="$1"
  # This target's cross-built Crypto++ and GoogleTest, and its Wine prefixes.
  ZEB_ARCH_CACHE="$ZEB_CACHE/$ZEB_ARCH"
  ZEB_ARCH_BUILD_DIR="$ZEB_BUILD_DIR/$ZEB_ARCH"
  ZEB_TOOLCHAIN="$ZEB_ROOT/cmake/mingw-w64-$ZEB_ARCH-posix.cmake"
  export WINEPREFIX="$ZEB_ARCH_CACHE/${ZEB_PREFIX_NAME:-wineprefix}"
  export WINEARCH="$ZEB_WINEARCH"
}
zeb_target "${ZEB_ARCH:-i686}" || return 1

export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes the ANSI code page from the Unix locale: ru_RU.UTF-8 gives 1251.
# (Set once the locale exists; scripts/setup.sh generates it.)
zeb_russian_locale() {
  if locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
    export LC_ALL=ru_RU.UTF-8
  fi
}
zeb_russian_locale
