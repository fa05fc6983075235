# Package installation that survives a package index out of sync with its mirror.
# Sourced by scripts/setup.sh, never run.
#   zeb_apt_update                 refresh the lists: three tries; then go on with what there is
#   zeb_apt_install PACKAGE...     install; when that cannot be resolved, once more from the
#                                  release's own suite (-t <codename>)
#   zeb_apt_source PACKAGE         fetch a source package into the current folder, the same way

zeb_apt_log() { echo "setup: $*" >&2; }

# The first error line apt-get printed, short enough for one line of ours.
zeb_first_error() {
  local line
  line="$(grep -m1 '^[EW]: ' <<<"$1" || true)"
  line="${line#[EW]: }"
  [ -n "$line" ] || line="apt-get failed"
  echo "${line:0:160}"
}

# The machine's release, from /etc/os-release: never a fixed name.
zeb_codename() {
  local codename=""
  [ -r /etc/os-release ] && codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
  echo "$codename"
}

ZEB_APT_UPDATE_TRIES="${ZEB_APT_UPDATE_TRIES:-3}"
ZEB_APT_UPDATE_PAUSE="${ZEB_APT_UPDATE_PAUSE:-5}"

zeb_apt_update() {
  local try out
  for try in $(seq 1 "$ZEB_APT_UPDATE_TRIES"); do
    # apt-get update exits 0 with "W:" lines for some failures and 100 with "E:" for others.
    if out="$(apt-get update -qq 2>&1)" && ! grep -q '^[EW]: \(Failed\|Some index\)' <<<"$out"; then
      return 0
    fi
    [ "$try" -lt "$ZEB_APT_UPDATE_TRIES" ] && sleep "$ZEB_APT_UPDATE_PAUSE"
  done
  zeb_apt_log "the package index did not refresh whole after $ZEB_APT_UPDATE_TRIES tries" \
    "($(zeb_first_error "$out")); going on with the lists there are"
  return 0
}

# Runs an apt-get command; when it cannot be resolved, once more with -t <codename>, which
# takes every package from the release's own suite, where all architectures agree.
zeb_apt_with_fallback() {  # what (for the messages), apt-get arguments...
  local what="$1"; shift
  local out codename
  if out="$(DEBIAN_FRONTEND=noninteractive apt-get "$@" 2>&1)"; then return 0; fi
  codename="$(zeb_codename)"
  if [ -z "$codename" ]; then
    printf '%s\n' "$out" | tail -n 15 >&2
    zeb_apt_log "could not $what, and the machine names no release to take them from"
    return 1
  fi
  zeb_apt_log "could not $what ($(zeb_first_error "$out")); trying once more from the release's own suite ($codename)"
  if out="$(DEBIAN_FRONTEND=noninteractive apt-get -t "$codename" "$@" 2>&1)"; then return 0; fi
  printf '%s\n' "$out" | tail -n 15 >&2
  zeb_apt_log "could not $what, also from $codename"
  return 1
}

zeb_apt_install() {
  zeb_apt_with_fallback "install $*" install -y -qq --no-install-recommends "$@" >/dev/null
}

zeb_apt_source() {
  zeb_apt_with_fallback "fetch the source package $1" source -qq "$1" >/dev/null
}
