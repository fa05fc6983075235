# One way to run Apache 2.4 (Debian's apache2) for the tests, beside nginx.sh.
# Sourced. Apache runs in the foreground of a background job, so its pid is ours; it
# counts as started once its port answers; the caller's EXIT trap calls zeb_apache_stop.
# Its access log has nginx's shape (nginx.sh): URI, status, body bytes, seconds.
ZEB_APACHE_PID=""

# Starts Apache in the folder $1 (made afresh), serving the folder $2 on port $3, and
# waits until the port answers. Run as root, it serves as www-data, which must be able to
# read $2. Returns 1, with Apache stopped and its error log on stderr, if it does not start.
zeb_apache_start() {  # folder, document root, port
  local dir="$1" root="$2" port="$3"
  rm -rf "$dir" && mkdir -p "$dir/run"
  cat > "$dir/httpd.conf" <<CONF
ServerRoot $dir
ServerName localhost
Listen 127.0.0.1:$port
PidFile $dir/apache.pid
DefaultRuntimeDir $dir/run
ErrorLog $dir/error.log
LoadModule mpm_event_module /usr/lib/apache2/modules/mod_mpm_event.so
LoadModule authz_core_module /usr/lib/apache2/modules/mod_authz_core.so
LoadModule mime_module /usr/lib/apache2/modules/mod_mime.so
$( [ "$(id -u)" = 0 ] && printf 'User www-data\nGroup www-data\n' )
DocumentRoot $root
<Directory $root>
  Require all granted
</Directory>
TypesConfig /etc/mime.types
# The update server serves the catalogue as text/xml; Apache's own type is application/xml.
AddType text/xml .xml
LogFormat "%U%q %>s %B %T" timed
CustomLog $dir/access.log timed
CONF
  apache2 -f "$dir/httpd.conf" -DFOREGROUND &
  ZEB_APACHE_PID=$!
  for _ in $(seq 100); do
    kill -0 "$ZEB_APACHE_PID" 2>/dev/null || break
    curl -s -o /dev/null --max-time 2 "http://127.0.0.1:$port/" && return 0
    sleep 0.1
  done
  echo "Apache did not start on port $port:" >&2
  cat "$dir/error.log" >&2 2>/dev/null || true
  zeb_apache_stop
  return 1
}

zeb_apache_stop() {
  if [ -n "$ZEB_APACHE_PID" ]; then
    kill "$ZEB_APACHE_PID" 2>/dev/null || true
    wait "$ZEB_APACHE_PID" 2>/dev/null || true
    ZEB_APACHE_PID=""
  fi
}
