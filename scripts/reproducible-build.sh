#!/usr/bin/env bash
# Builds the program of one target twice, each time in a new build folder, the second time
# from a copy of the sources in another place, and fails unless the two programs are the
# same byte for byte: anyone who builds the commit again gets the program we hand out.
#   scripts/reproducible-build.sh [--arch i686|x86_64] [--copy-to FILE] [CMake options]
# --copy-to keeps the program (scripts/release.sh). Both builds name the same commit in
# their version resource: the checkout's, asked once (the copy is no git checkout).
set -euo pipefail
copy_to=""
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) [ $# -ge 2 ] || { echo "usage: $0 [--arch i686|x86_64] [--copy-to FILE] [CMake options]" >&2; exit 2; }
      export ZEB_ARCH="$2"; shift 2;;
    --copy-to) [ $# -ge 2 ] || { echo "usage: $0 [--arch i686|x86_64] [--copy-to FILE] [CMake options]" >&2; exit 2; }
      copy_to="$2"; shift 2;;
    *) break;;
  esac
done
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
"$ZEB_ROOT/scripts/setup.sh"

log() { echo "reproducible-build: $*" >&2; }

work="$ZEB_BUILD_DIR/reproducible/$ZEB_ARCH"
rm -rf "$work"
mkdir -p "$work"
commit="$(cmake -DSOURCE_DIR="$ZEB_ROOT" -P "$ZEB_ROOT/cmake/WriteVersionHeader.cmake")"

# The sources of the checkout as they are (modified files too), without its builds.
copy="$work/second/a-copy-of-the-sources"
mkdir -p "$copy"
if git -C "$ZEB_ROOT" rev-parse --show-toplevel >/dev/null 2>&1; then
  (cd "$ZEB_ROOT" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -f "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf -) | tar -xf - -C "$copy"
else
  (cd "$ZEB_ROOT" && tar --exclude=./.git --exclude='./build*' --exclude=./dist -cf - .) | tar -xf - -C "$copy"
fi

# One program: configured from scratch, only the program built.
build_program() {  # source folder, build folder, CMake options...
  local source="$1" build="$2"
  shift 2
  cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$ZEB_TOOLCHAIN" -DZEB_DEPS_DIR="$ZEB_ARCH_CACHE" \
    -DZEB_TLS_DIR="$ZEB_CACHE/tls" -DZEB_COMMIT="$commit" "$@" >"$build.configure.log" 2>&1 \
    || { cat "$build.configure.log" >&2; log "configuring $build failed"; exit 1; }
  cmake --build "$build" -j"$(nproc)" --target ZebOfflineDownload >"$build.log" 2>&1 \
    || { tail -n 40 "$build.log" >&2; log "building $build failed"; exit 1; }
}

first="$work/first/build"
second="$copy/elsewhere/build-$ZEB_ARCH"
mkdir -p "$(dirname "$first")" "$(dirname "$second")"
log "building the $ZEB_ARCH_NAME program ($commit) in $first"
build_program "$ZEB_ROOT" "$first" "$@"
log "building it again from $copy in $second"
build_program "$copy" "$second" "$@"

program="$first/app/ZebOfflineDownload.exe"
if ! cmp "$program" "$second/app/ZebOfflineDownload.exe"; then
  log "the two $ZEB_ARCH_NAME programs differ; the first differing bytes (offset, octal values):"
  cmp -l "$program" "$second/app/ZebOfflineDownload.exe" | head -n 20 >&2
  exit 1
fi
log "the two $ZEB_ARCH_NAME programs are identical ($(stat -c %s "$program") bytes, sha256 $(sha256sum "$program" | cut -d' ' -f1))"
if [ -n "$copy_to" ]; then
  mkdir -p "$(dirname "$copy_to")"
  cp "$program" "$copy_to"
fi
