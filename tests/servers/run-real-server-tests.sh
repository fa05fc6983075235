#!/usr/bin/env bash
# Runs the second-run tests against the servers people really have: Debian's nginx and
# Apache 2.4 on free loopback ports, each serving a sample site of its own (its catalogue
# names its own base URL), and stops both on every way out.
#   run-real-server-tests.sh <real_server_tests.exe> <make_sample.exe> [test arguments]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../../scripts/env.sh"
source "$here/../../scripts/machine/wine.sh"
source "$here/../../scripts/servers/ports.sh"
source "$here/../../scripts/servers/nginx.sh"
source "$here/../../scripts/servers/apache.sh"

[ $# -ge 2 ] || { echo "usage: $0 <real_server_tests.exe> <make_sample.exe> [test arguments]" >&2; exit 2; }
tests_exe="$1" make_sample_exe="$2"
shift 2

work="$(mktemp -d "${TMPDIR:-/tmp}/zeb-servers.XXXXXX")"
mkdir -p "$work/nginx-site" "$work/apache-site"
# Apache serves as www-data.
chmod 755 "$work"
tests_pid=""
stop() {
  [ -n "$tests_pid" ] && kill "$tests_pid" 2>/dev/null || true
  zeb_nginx_stop
  zeb_apache_stop
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

started=0
for attempt in 1 2 3 4 5; do
  read -r nginx_port apache_port <<<"$(zeb_free_ports 2)"
  zeb_nginx_start "$work/nginx" "  server { listen 127.0.0.1:$nginx_port; root $work/nginx-site; }" \
      "$nginx_port" || continue
  if zeb_apache_start "$work/apache" "$work/apache-site" "$apache_port"; then
    started=1
    break
  fi
  zeb_nginx_stop
done
[ "$started" = 1 ] || exit 1

for server in nginx:$nginx_port apache:$apache_port; do
  wine "$make_sample_exe" "$(winepath -w "$work/${server%%:*}-site")" \
    "http://127.0.0.1:${server#*:}/ulvooffline/update"
done
chmod -R a+rX "$work/apache-site"

export ZEB_NGINX_ORIGIN="http://127.0.0.1:$nginx_port" ZEB_APACHE_ORIGIN="http://127.0.0.1:$apache_port"
ZEB_NGINX_LOG="$(winepath -w "$work/nginx/access.log")"
ZEB_APACHE_LOG="$(winepath -w "$work/apache/access.log")"
export ZEB_NGINX_LOG ZEB_APACHE_LOG
# In the background, so that a signal reaches the trap at once rather than when the tests end.
wine "$tests_exe" "$@" &
tests_pid=$!
status=0
wait "$tests_pid" || status=$?
tests_pid=""
exit "$status"
