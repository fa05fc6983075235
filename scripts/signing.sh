# Authenticode signatures (SHA-256) on the release's programs, made with osslsigncode when
# a key is given in the environment. Sourced by scripts/release.sh, never run.
#   ZEB_SIGN_PKCS12=FILE          the publisher's key and certificate chain in a PKCS#12
#                                 file, its password in ZEB_SIGN_PASSWORD;
# or a key that never leaves a hardware token:
#   ZEB_SIGN_PKCS11_MODULE=FILE   the token's PKCS#11 module (its vendor's, or OpenSC's
#                                 /usr/lib/x86_64-linux-gnu/opensc-pkcs11.so),
#   ZEB_SIGN_PKCS11_KEY=URI       the key on it ("pkcs11:object=...;type=private", or its id),
#   ZEB_SIGN_CERTS=FILE           the certificate chain that goes with it (PEM),
#   ZEB_SIGN_PKCS11_ENGINE=FILE   OpenSSL's PKCS#11 engine (Debian's libengine-pkcs11-openssl:
#                                 /usr/lib/x86_64-linux-gnu/engines-3/pkcs11.so), where the
#                                 osslsigncode needs one (Debian 12's does); the token's PIN
#                                 in ZEB_SIGN_PASSWORD;
# and for either, optionally:
#   ZEB_SIGN_TIMESTAMP_URL=URL    an RFC 3161 time-stamping server, so that the signature
#                                 stays valid after the certificate has expired.
#   zeb_signing_key    what signs, in a few words; empty without a key; fails on a key half given
#   zeb_sign FILE      signs FILE in place

zeb_signing_key() {
  if [ -n "${ZEB_SIGN_PKCS12:-}" ]; then
    [ -z "${ZEB_SIGN_PKCS11_MODULE:-}" ] || { echo "signing: give ZEB_SIGN_PKCS12 or ZEB_SIGN_PKCS11_MODULE, not both" >&2; return 1; }
    [ -r "$ZEB_SIGN_PKCS12" ] || { echo "signing: cannot read the PKCS#12 file $ZEB_SIGN_PKCS12" >&2; return 1; }
    echo "the PKCS#12 key $ZEB_SIGN_PKCS12"
  elif [ -n "${ZEB_SIGN_PKCS11_MODULE:-}" ]; then
    [ -n "${ZEB_SIGN_PKCS11_KEY:-}" ] && [ -r "${ZEB_SIGN_CERTS:-}" ] ||
      { echo "signing: a PKCS#11 token needs ZEB_SIGN_PKCS11_KEY and ZEB_SIGN_CERTS (a readable PEM file) too" >&2; return 1; }
    echo "the key $ZEB_SIGN_PKCS11_KEY of the PKCS#11 token of $ZEB_SIGN_PKCS11_MODULE"
  fi
}

zeb_sign() {  # FILE
  local file="$1" key=() out
  if [ -n "${ZEB_SIGN_PKCS12:-}" ]; then
    key=(-pkcs12 "$ZEB_SIGN_PKCS12")
  else
    [ -z "${ZEB_SIGN_PKCS11_ENGINE:-}" ] || key=(-pkcs11engine "$ZEB_SIGN_PKCS11_ENGINE")
    key+=(-pkcs11module "$ZEB_SIGN_PKCS11_MODULE" -key "$ZEB_SIGN_PKCS11_KEY" -certs "$ZEB_SIGN_CERTS")
  fi
  [ -z "${ZEB_SIGN_TIMESTAMP_URL:-}" ] || key+=(-ts "$ZEB_SIGN_TIMESTAMP_URL")
  rm -f "$file.signed"
  # The password through a pipe, never on a command line that any process list shows.
  if ! out="$(osslsigncode sign "${key[@]}" -readpass <(printf '%s' "${ZEB_SIGN_PASSWORD:-}") -h sha256 \
      -in "$file" -out "$file.signed" 2>&1)"; then
    rm -f "$file.signed"
    printf '%s\n' "$out" | tail -n 5 >&2
    echo "signing: osslsigncode could not sign $file" >&2
    return 1
  fi
  mv "$file.signed" "$file"
}
