# Shared settings of the build scripts: the target, where the dependency cache, the
# builds and the Wine prefix live. Sourced, never run.
ZEB_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The target: i686 (32-bit Windows, the program users get; it runs on 64-bit Windows
# too) or x86_64. Every target has its own toolchain, dependencies, build and Wine prefix.
ZEB_ARCHES=(i686 x86_64)
export ZEB_ARCH="${ZEB_ARCH:-i686}"
case "$ZEB_ARCH" in
  i686) ZEB_WINEARCH=win32 ZEB_ARCH_NAME="32-bit";;
  x86_64) ZEB_WINEARCH=win64 ZEB_ARCH_NAME="64-bit";;
  *) echo "ZEB_ARCH must be one of ${ZEB_ARCHES[*]}, not '$ZEB_ARCH'" >&2; return 1;;
esac
# Bump when the way a dependency is built changes, so old caches are not reused.
ZEB_DEPS_VERSION=1
ZEB_CACHE_ROOT="${ZEB_CACHE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/zeb-offline}"
# Shared by the targets: downloaded sources and the test certificates.
ZEB_CACHE="$ZEB_CACHE_ROOT/deps-v$ZEB_DEPS_VERSION"
# This target's cross-built Crypto++ and GoogleTest, and its Wine prefix.
ZEB_ARCH_CACHE="$ZEB_CACHE/$ZEB_ARCH"
# The builds: one folder per target below ZEB_BUILD_DIR.
ZEB_BUILD_DIR="${ZEB_BUILD_DIR:-$ZEB_ROOT/build}"
ZEB_ARCH_BUILD_DIR="$ZEB_BUILD_DIR/$ZEB_ARCH"
ZEB_TOOLCHAIN="$ZEB_ROOT/cmake/mingw-w64-$ZEB_ARCH-posix.cmake"

# The tests' prefix, unless a script names one of its own (ZEB_PREFIX_NAME): the demo's
# windows and wineserver then never meet a test run's.
export WINEPREFIX="$ZEB_ARCH_CACHE/${ZEB_PREFIX_NAME:-wineprefix}"
export WINEARCH="$ZEB_WINEARCH"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes the ANSI code page from the Unix locale: ru_RU.UTF-8 gives 1251.
# (Set once the locale exists; scripts/setup.sh generates it and sources this again.)
if locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  export LC_ALL=ru_RU.UTF-8
fi
# Which Wine loader runs this target's programs on this machine.
source "$ZEB_ROOT/scripts/wine.sh"
