# The release signed with a throwaway key: both programs carry a signature that
# `osslsigncode verify` accepts, SHA256SUMS checks the signed files as an administrator
# unpacks them, and removing the signature gives back the reproducible program. The same
# key on a PKCS#11 token (SoftHSM) signs too. Without a key the release is unsigned and
# says so; a key half given or a wrong password makes none.
# The real scripts/release.sh and scripts/signing.sh, in a copy of the checkout whose two
# builds stand in with a small program of each target.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
repo="$scratch/repo"
mkdir -p "$repo/res"
cp -r "$root/scripts" "$repo/"
cp "$root/CMakeLists.txt" "$repo/"
cp "$root/res/release-readme.txt" "$repo/res/"
printf 'int main(void) { return 0; }\n' > "$scratch/small.c"
for arch in i686 x86_64; do
  "$arch-w64-mingw32-gcc" -s -Wl,--no-insert-timestamp -o "$scratch/small-$arch.exe" "$scratch/small.c"
done
cat > "$repo/scripts/reproducible-build.sh" <<'STAND_IN'
#!/usr/bin/env bash
while [ $# -gt 0 ]; do
  case "$1" in --arch) arch="$2"; shift 2;; --copy-to) to="$2"; shift 2;; *) shift;; esac
done
mkdir -p "$(dirname "$to")" && cp "$scratch/small-$arch.exe" "$to"
STAND_IN
git -C "$repo" init -q && git -C "$repo" add -A &&
  git -C "$repo" -c user.name=test -c user.email=test@example.org commit -q -m release

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Zeb Test Publisher" \
  -addext extendedKeyUsage=codeSigning -keyout "$scratch/key.pem" -out "$scratch/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$scratch/key.pem" -in "$scratch/cert.pem" -out "$scratch/publisher.p12" \
  -passout pass:throwaway
url=https://updates.example/ulvooffline/update/latest.xml
dist="$repo/dist"
release() { "$repo/scripts/release.sh" "$url" > "$scratch/out" 2>&1; }
programs=(ZebOfflineDownload-*-win32/ZebOfflineDownload.exe ZebOfflineDownload-*-win64/ZebOfflineDownload.exe)

ZEB_SIGN_PKCS12="$scratch/publisher.p12" ZEB_SIGN_PASSWORD=throwaway release
status=$?
check "a release with a PKCS#12 key says so and signs both programs" \
  eval '[ "$status" = 0 ] && has "release: the programs will be signed with the PKCS#12 key" "$scratch/out" &&
    (cd "$dist" && for p in ${programs[@]}; do osslsigncode verify -CAfile "$scratch/cert.pem" -in "$p" >/dev/null || exit 1; done)'
# As the README tells an administrator: the archives unpacked beside SHA256SUMS.
mkdir -p "$scratch/admin"
cp "$dist"/*.zip "$dist/SHA256SUMS" "$scratch/admin/"
check "SHA256SUMS checks the archives and the signed programs unpacked from them" \
  eval '(cd "$scratch/admin" && for z in *.zip; do unzip -q "$z"; done && sha256sum -c SHA256SUMS >/dev/null &&
    [ "$(wc -l < SHA256SUMS)" = 4 ] && osslsigncode verify -CAfile "$scratch/cert.pem" -in ${programs[0]} >/dev/null)'
check "without its signature each program is the reproducible build" \
  eval '(cd "$dist" && osslsigncode remove-signature -in ${programs[0]} -out "$scratch/32.exe" >/dev/null &&
    osslsigncode remove-signature -in ${programs[1]} -out "$scratch/64.exe" >/dev/null) &&
    cmp -s "$scratch/32.exe" "$scratch/small-i686.exe" && cmp -s "$scratch/64.exe" "$scratch/small-x86_64.exe"'

# The key on a token that never hands it out: SoftHSM, with a token of the scratch's own.
export SOFTHSM2_CONF="$scratch/softhsm2.conf"
mkdir -p "$scratch/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$scratch/tokens" > "$SOFTHSM2_CONF"
openssl pkcs8 -topk8 -nocrypt -in "$scratch/key.pem" -out "$scratch/key8.pem"
softhsm2-util --init-token --free --label zeb --pin 1234 --so-pin 5678 >/dev/null &&
  softhsm2-util --import "$scratch/key8.pem" --token zeb --label publisher --id 01 --pin 1234 >/dev/null
ZEB_SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so \
  ZEB_SIGN_PKCS11_ENGINE="$(ls /usr/lib/*/engines-3/pkcs11.so | head -n1)" \
  ZEB_SIGN_PKCS11_KEY="pkcs11:token=zeb;object=publisher;type=private" ZEB_SIGN_CERTS="$scratch/cert.pem" \
  ZEB_SIGN_PASSWORD=1234 release
status=$?
check "a release with a key on a PKCS#11 token signs both programs" \
  eval '[ "$status" = 0 ] && has "of the PKCS#11 token of /usr/lib/softhsm/libsofthsm2.so" "$scratch/out" &&
    (cd "$dist" && for p in ${programs[@]}; do osslsigncode verify -CAfile "$scratch/cert.pem" -in "$p" >/dev/null || exit 1; done &&
      sha256sum -c SHA256SUMS >/dev/null)'

ZEB_SIGN_PKCS12="$scratch/publisher.p12" ZEB_SIGN_PASSWORD=wrong release
wrong=$?
cp "$scratch/out" "$scratch/out-wrong"
ZEB_SIGN_PKCS11_MODULE=/usr/lib/no-such-module.so release
half=$?
check "a wrong password or a token without its key makes no release" \
  eval '[ "$wrong" != 0 ] && has "signing: osslsigncode could not sign" "$scratch/out-wrong" && [ ! -e "$dist/SHA256SUMS" ] &&
    [ "$half" != 0 ] && has "a PKCS#11 token needs ZEB_SIGN_PKCS11_KEY" "$scratch/out"'

release
status=$?
check "without a key the release is unsigned, as built, and says so in one line" \
  eval '[ "$status" = 0 ] &&
    has "release: no signing key given (ZEB_SIGN_PKCS12 or ZEB_SIGN_PKCS11_MODULE): the programs are unsigned" "$scratch/out" &&
    (cd "$dist" && cmp -s ${programs[0]} "$scratch/small-i686.exe" && cmp -s ${programs[1]} "$scratch/small-x86_64.exe" &&
      sha256sum -c SHA256SUMS >/dev/null && ! osslsigncode verify -CAfile "$scratch/cert.pem" -in ${programs[0]} >/dev/null 2>&1)'
