#!/usr/bin/env bash
# Runs the HTTPS tests: trusts the test authority in the Wine prefix (current user only),
# generates a sample site, serves it with nginx on free loopback ports and stops nginx
# on every way out.
#   run-https-tests.sh <https_tests.exe> <make_sample.exe> <trust_ca.exe> <certificate folder> [test arguments]
# The servers, all on 127.0.0.1 and reached as localhost:
#   trusted      HTTPS, certificate for localhost signed by the trusted authority
#   untrusted    HTTPS, certificate for localhost with its own authority, which nobody trusts
#   wrong name   HTTPS, certificate for wrong.example signed by the trusted authority
#   redirect     HTTP, answers 301 (below /found: 302) to the same file on the trusted server
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../../scripts/env.sh"
source "$here/../../scripts/machine/wine.sh"
source "$here/../../scripts/servers/ports.sh"
source "$here/../../scripts/servers/nginx.sh"

[ $# -ge 4 ] || { echo "usage: $0 <https_tests.exe> <make_sample.exe> <trust_ca.exe> <certificate folder> [test arguments]" >&2; exit 2; }
tests_exe="$1" make_sample_exe="$2" trust_ca_exe="$3" tls="$4"
shift 4
for f in ca.der ca.pem localhost.pem untrusted.pem untrusted-ca.pem wrong-name.pem; do
  [ -f "$tls/$f" ] || { echo "$tls/$f is missing: run scripts/setup.sh" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/zeb-https.XXXXXX")"
tests_pid=""
stop() {
  [ -n "$tests_pid" ] && kill "$tests_pid" 2>/dev/null || true
  zeb_nginx_stop
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# Idempotent: prints "added" the first time in a prefix, "already trusted" afterwards.
echo "test authority: $(wine "$trust_ca_exe" "$(winepath -w "$tls/ca.der")")"

# Three HTTPS servers of the site (trusted, untrusted authority, wrong name) and a plain
# one that redirects to the trusted one.
https_servers() {  # trusted untrusted wrong-name redirect
  cat <<SERVERS
  root $work/site;
  server { listen 127.0.0.1:$1 ssl; ssl_certificate $tls/localhost.pem; ssl_certificate_key $tls/localhost.key; }
  server { listen 127.0.0.1:$2 ssl; ssl_certificate $work/untrusted-chain.pem; ssl_certificate_key $tls/untrusted.key; }
  server { listen 127.0.0.1:$3 ssl; ssl_certificate $tls/wrong-name.pem; ssl_certificate_key $tls/wrong-name.key; }
  server {
    listen 127.0.0.1:$4;
    location / { return 301 https://localhost:$1\$request_uri; }
    location /found/ { rewrite ^/found(/.*)\$ https://localhost:$1\$1 redirect; }
  }
SERVERS
}
# The untrusted server presents its authority too, so the client sees the whole chain and
# refuses its root, rather than failing to build a chain at all.
cat "$tls/untrusted.pem" "$tls/untrusted-ca.pem" > "$work/untrusted-chain.pem"

# The site's base URL names the trusted port, so the ports come first.
started=0
for attempt in 1 2 3 4 5; do
  read -r trusted untrusted wrong redirect <<<"$(zeb_free_ports 4)"
  if zeb_nginx_start "$work/nginx" "$(https_servers "$trusted" "$untrusted" "$wrong" "$redirect")" \
      "$trusted" "$untrusted" "$wrong" "$redirect"; then
    started=1
    break
  fi
done
[ "$started" = 1 ] || exit 1

base="https://localhost:$trusted/ulvooffline/update"
mkdir -p "$work/site"
wine "$make_sample_exe" "$(winepath -w "$work/site")" "$base"

# The servers answer as intended, so a refused request in the tests is the
# certificate's doing: each serves the catalogue to a client that trusts its authority
# (and, for the wrong name, asks for that name), and the plain server only redirects.
check() {  # what, expected, curl arguments...
  local what="$1" expected="$2" got
  shift 2
  got="$(curl -s -o /dev/null --max-time 10 -w '%{http_code} %{redirect_url}' "$@" || true)"
  [ "$got" = "$expected" ] || { echo "server check failed: $what answered '$got', not '$expected'" >&2; exit 1; }
}
check trusted "200 " --cacert "$tls/ca.pem" "$base/latest.xml"
check untrusted "200 " --cacert "$tls/untrusted-ca.pem" "https://localhost:$untrusted/ulvooffline/update/latest.xml"
check "wrong name" "200 " --cacert "$tls/ca.pem" --resolve "wrong.example:$wrong:127.0.0.1" \
  "https://wrong.example:$wrong/ulvooffline/update/latest.xml"
check redirect "301 $base/latest.xml" "http://localhost:$redirect/ulvooffline/update/latest.xml"
check "redirect /found" "302 $base/latest.xml" "http://localhost:$redirect/found/ulvooffline/update/latest.xml"

export ZEB_HTTPS_TRUSTED="https://localhost:$trusted"
export ZEB_HTTPS_UNTRUSTED="https://localhost:$untrusted"
export ZEB_HTTPS_WRONG_NAME="https://localhost:$wrong"
export ZEB_HTTP_REDIRECT="http://localhost:$redirect"
ZEB_HTTPS_SITE="$(winepath -w "$work/site/ulvooffline/update")"
export ZEB_HTTPS_SITE
# In the background, so that a signal reaches the trap at once rather than when the tests end.
wine "$tests_exe" "$@" &
tests_pid=$!
status=0
wait "$tests_pid" || status=$?
tests_pid=""
exit "$status"
