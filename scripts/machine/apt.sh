# Package installation that survives a package index out of sync with its mirror.
# Sourced by packages.sh, never run.
#   zeb_apt_update                 refresh the lists: three tries; then go on with what there is
#   zeb_apt_install PACKAGE...     install; when that cannot be resolved, once more from the
#                                  release's own suite (-t <codename>)
#   zeb_apt_source PACKAGE         fetch a source package into the current folder, the same way

zeb_apt_log() { echo "setup: $*" >&2; }

# apt's messages in English, whatever the locale (scripts/env.sh makes it Russian for
# Wine), so that they can be read here.
apt-get() { LC_ALL=C command apt-get "$@"; }
apt-cache() { LC_ALL=C command apt-cache "$@"; }

# The first error line apt-get printed, short enough for one line of ours.
zeb_first_error() {
  local line
  line="$(grep -m1 '^[EW]: ' <<<"$1" || true)"
  line="${line#[EW]: }"
  line="${line% \[IP: *\]}"
  [ -n "$line" ] || line="apt-get failed"
  echo "${line:0:200}"
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

# Where apt's source lists are (the tests of these scripts point it elsewhere).
ZEB_APT_ETC="${ZEB_APT_ETC:-/etc/apt}"

# The release's backports suite (<codename>-backports), in a list of ours derived from the
# machine's own Debian entries of the release, so that no package host is named here. The
# suite's own priority keeps every package as it is: only a package asked for as
# PACKAGE/<codename>-backports comes from there.
zeb_apt_enable_backports() {
  local codename list f found=""
  codename="$(zeb_codename)"
  [ -n "$codename" ] || { zeb_apt_log "the machine names no release whose backports to add"; return 1; }
  for f in "$ZEB_APT_ETC/sources.list" "$ZEB_APT_ETC"/sources.list.d/*.list "$ZEB_APT_ETC"/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -Eq "^[^#]*[[:space:]]$codename-backports([[:space:]]|$)" "$f" && return 0
  done
  zeb_apt_log "adding the release's backports suite ($codename-backports)"
  list="$ZEB_APT_ETC/sources.list.d/zeb-backports"
  : > "$list.sources.tmp"
  for f in "$ZEB_APT_ETC"/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    grep -q 'debian-archive-keyring' "$f" || continue
    # Each enabled entry of binary packages that lists the release itself, once more for its backports.
    awk -v c="$codename" 'BEGIN { RS = ""; FS = "\n" }
      { deb = 0; release = 0
        for (i = 1; i <= NF; i++) {
          value = $i; sub(/^[^:]*:[ \t]*/, "", value); value = " " value " "; gsub(/[ \t]+/, " ", value)
          if ($i ~ /^Types:/ && value ~ / deb /) deb = 1
          if ($i ~ /^Suites:/ && index(value, " " c " ")) release = 1
          if ($i ~ /^Enabled:/ && value ~ / no /) deb = 0
        }
        if (!deb || !release) next
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^Types:/) print "Types: deb"
          else if ($i ~ /^Suites:/) print "Suites: " c "-backports"
          else print $i
        }
        print "" }' "$f" >> "$list.sources.tmp"
  done
  [ -s "$list.sources.tmp" ] && found=1
  mv "$list.sources.tmp" "$list.sources"
  [ -s "$list.sources" ] || rm -f "$list.sources"
  if [ -f "$ZEB_APT_ETC/sources.list" ]; then
    # One-line entries of the release with its main component.
    sed -nE "s/^(deb([[:space:]]+\[[^]]*\])?[[:space:]]+[^[:space:]]+[[:space:]]+)$codename([[:space:]](.*[[:space:]])?main([[:space:]].*)?)$/\1$codename-backports\3/p" \
      "$ZEB_APT_ETC/sources.list" > "$list.list"
    if [ -s "$list.list" ]; then found=1; else rm -f "$list.list"; fi
  fi
  [ -n "$found" ] || { zeb_apt_log "no Debian entry of $codename to add its backports to"; return 1; }
  zeb_apt_update
}
