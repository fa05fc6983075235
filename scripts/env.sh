# Shared settings of the build scripts: where the dependency cache and the Wine prefix live.
# Sourced, never run.
ZEB_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Bump when the way a dependency is built changes, so old caches are not reused.
ZEB_DEPS_VERSION=1
ZEB_CACHE_ROOT="${ZEB_CACHE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/zeb-offline}"
ZEB_CACHE="$ZEB_CACHE_ROOT/deps-v$ZEB_DEPS_VERSION"
ZEB_BUILD_DIR="${ZEB_BUILD_DIR:-$ZEB_ROOT/build}"
ZEB_TOOLCHAIN="$ZEB_ROOT/cmake/mingw-w64-x86_64-posix.cmake"

export WINEPREFIX="$ZEB_CACHE/wineprefix"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes the ANSI code page from the Unix locale: ru_RU.UTF-8 gives 1251.
# (Set once the locale exists; scripts/setup.sh generates it and sources this again.)
if locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  export LC_ALL=ru_RU.UTF-8
fi
