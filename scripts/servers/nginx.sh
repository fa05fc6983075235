# One way to run nginx for the scripts and the tests. Sourced. nginx runs in the
# foreground of a background job, so its pid is ours; it counts as started once every
# port it listens on answers; the caller's EXIT trap calls zeb_nginx_stop, so it stops
# however the caller ends (only a KILL leaves it running).
ZEB_NGINX_PID=""

# Starts nginx in the folder $1 (made afresh) with the server blocks $2 (nginx
# configuration text for its http block) and waits until each port of $3... answers.
# Returns 1, with nginx stopped and its error log on stderr, if it does not.
zeb_nginx_start() {  # folder, server blocks, port...
  local dir="$1" servers="$2" port ready
  shift 2
  rm -rf "$dir" && mkdir -p "$dir/tmp"
  cat > "$dir/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $dir/nginx.pid;
error_log $dir/error.log;
$( [ "$(id -u)" = 0 ] && echo "user root;" )
events { worker_connections 64; }
http {
  log_format timed '\$request_uri \$status \$body_bytes_sent \$request_time';
  access_log $dir/access.log timed;
  client_body_temp_path $dir/tmp;
  types { text/xml xml; text/plain txt; }
  default_type application/octet-stream;
  sendfile on;
$servers
}
CONF
  nginx -e "$dir/error.log" -p "$dir" -c "$dir/nginx.conf" &
  ZEB_NGINX_PID=$!
  for _ in $(seq 100); do
    kill -0 "$ZEB_NGINX_PID" 2>/dev/null || break
    ready=1
    for port in "$@"; do
      # Any answer counts, an error page or one to plain HTTP on a TLS port included.
      curl -s -o /dev/null --max-time 2 "http://127.0.0.1:$port/" || { ready=0; break; }
    done
    [ "$ready" = 1 ] && return 0
    sleep 0.1
  done
  echo "nginx did not start on port(s) $*:" >&2
  cat "$dir/error.log" >&2 2>/dev/null || true
  zeb_nginx_stop
  return 1
}

zeb_nginx_stop() {
  if [ -n "$ZEB_NGINX_PID" ]; then
    kill "$ZEB_NGINX_PID" 2>/dev/null || true
    wait "$ZEB_NGINX_PID" 2>/dev/null || true
    ZEB_NGINX_PID=""
  fi
}
