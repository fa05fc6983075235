# Gives the Wine programs an X display: the caller's own, or a private Xvfb. Sourced.
ZEB_XVFB_PID=""
zeb_start_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return
  fi
  local n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    ZEB_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      xdpyinfo >/dev/null 2>&1 && return
      sleep 0.1
    done
    kill "$ZEB_XVFB_PID" 2>/dev/null || true
  done
  echo "no X display could be started" >&2
  exit 1
}
zeb_stop_display() {
  [ -n "$ZEB_XVFB_PID" ] && kill "$ZEB_XVFB_PID" 2>/dev/null || true
}
