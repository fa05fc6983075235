#!/usr/bin/env bash
# Makes the release for one update server in dist/: both programs, each built twice in new
# folders and compared byte for byte (scripts/reproducible-build.sh), then signed when a key
# is given (scripts/signing.sh), each packed with its Russian read-me into
# ZebOfflineDownload-<version>-win32.zip and -win64.zip, and SHA256SUMS over the archives
# and the programs as released.
#   scripts/release.sh https://HOST/ulvooffline/update/latest.xml
#   CATALOG_URL=https://HOST/ulvooffline/update/latest.xml scripts/release.sh
#   ZEB_SIGN_PKCS12=publisher.p12 ZEB_SIGN_PASSWORD=... scripts/release.sh https://...
# Made from a git checkout without uncommitted changes, so that the commit the programs
# name is the one they can be rebuilt from. Unsigned, the archives are reproducible too:
# their entries in a fixed order, with the commit's time, no owners and no extra fields.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
source "$ZEB_ROOT/scripts/signing.sh"

fail() { echo "release: $*" >&2; exit 1; }

url="${1:-${CATALOG_URL:-}}"
[ -n "$url" ] || { echo "usage: $0 https://HOST/ulvooffline/update/latest.xml (or CATALOG_URL=...)" >&2; exit 2; }
# Users get only HTTPS: a plain-HTTP catalogue could be changed on the way.
[[ "$url" =~ ^https://[^/]+/ulvooffline/update/latest\.xml$ ]] ||
  fail "CATALOG_URL must be https://HOST/ulvooffline/update/latest.xml, not '$url'"

git -C "$ZEB_ROOT" rev-parse --show-toplevel >/dev/null 2>&1 || fail "$ZEB_ROOT is not a git checkout"
[ -z "$(git -C "$ZEB_ROOT" --no-optional-locks status --porcelain --untracked-files=no)" ] ||
  fail "the checkout has uncommitted changes: commit them first (git status)"
commit="$(git -C "$ZEB_ROOT" rev-parse --short=12 HEAD)"
version="$(sed -n 's/^project(ZebOfflineDownload VERSION \([0-9]*\.[0-9]*\.[0-9]*\) .*$/\1/p' "$ZEB_ROOT/CMakeLists.txt")"
[ -n "$version" ] || fail "no version x.y.z in the project() line of CMakeLists.txt"
# Every file of the archives gets the commit's time (zip stores local time: UTC here).
epoch="$(git -C "$ZEB_ROOT" log -1 --format=%ct HEAD)"
export TZ=UTC LC_ALL=C.UTF-8

# A key half given fails now, not after the builds.
signer="$(zeb_signing_key)" || fail "no release made"
if [ -n "$signer" ]; then
  echo "release: the programs will be signed with $signer"
else
  echo "release: no signing key given (ZEB_SIGN_PKCS12 or ZEB_SIGN_PKCS11_MODULE): the programs are unsigned"
fi

dist="$ZEB_ROOT/dist"
rm -rf "$dist"
mkdir -p "$dist"
for arch in "${ZEB_ARCHES[@]}"; do
  case "$arch" in
    i686) name=win32 bits="32-разрядная";;
    x86_64) name=win64 bits="64-разрядная";;
  esac
  folder="ZebOfflineDownload-$version-$name"
  "$ZEB_ROOT/scripts/reproducible-build.sh" --arch "$arch" --copy-to "$dist/$folder/ZebOfflineDownload.exe" \
    -DCATALOG_URL="$url"
  # After the comparison: the signature (and its time) is the one thing that differs
  # between two releases of one commit.
  [ -z "$signer" ] || zeb_sign "$dist/$folder/ZebOfflineDownload.exe" || fail "no release made"
  # Windows-1251 with CR LF: what Notepad on a Russian Windows reads without being told.
  sed -e "s|@VERSION@|$version|g" -e "s|@COMMIT@|$commit|g" -e "s|@BITS@|$bits|g" -e "s|@CATALOG_URL@|$url|g" \
    "$ZEB_ROOT/res/release-readme.txt" | sed 's/$/\r/' | iconv -f UTF-8 -t CP1251 >"$dist/$folder/README.txt"
  chmod 0644 "$dist/$folder/README.txt" "$dist/$folder/ZebOfflineDownload.exe"
  touch -d "@$epoch" "$dist/$folder/README.txt" "$dist/$folder/ZebOfflineDownload.exe"
  # -X: no owners or extra time fields; -D: no folder entries; the names in sorted order.
  (cd "$dist" && find "$folder" -type f | sort | zip -X -D -q "$folder.zip" -@)
done

# Relative names, so that `sha256sum -c SHA256SUMS` in dist/ (or where the archives were
# unpacked) checks them.
(cd "$dist" && find . -maxdepth 2 -type f \( -name '*.zip' -o -name ZebOfflineDownload.exe \) | sed 's|^\./||' |
  sort | xargs sha256sum >SHA256SUMS)
echo "release $version ($commit) for $url in $dist:"
(cd "$dist" && cat SHA256SUMS)
