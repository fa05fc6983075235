# A package index out of sync with its mirror: apt-get's update fails for one list, a plain
# install cannot be resolved, one from the release's own suite can. Set-up goes on with the
# lists there are, installs from the release and says both; it fails, naming the packages,
# only when the release cannot resolve them either.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
stand_in apt-get <<'STAND_IN'
echo "$*" >> "$scratch/apt-calls"
case "$*" in
  update*)
    echo "E: Failed to fetch http://mirror.example/debian-security/dists/stable-security/main/binary-i386/Packages.xz  File has unexpected size (376004 != 375996). Mirror sync in progress? [IP: 192.0.2.1 80]"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100;;
  "-t "*)
    [ -f "$scratch/release-resolves" ] && exit 0;;
esac
echo "Some packages could not be installed."
echo "E: Unable to correct problems, you have held broken packages."
exit 100
STAND_IN
stand_in dpkg <<'STAND_IN'
[ "$1" = --print-foreign-architectures ] && echo i386
STAND_IN

# install_packages of scripts/setup.sh for two packages that are not installed.
install_two() {
  : > "$scratch/apt-calls"
  (
    source "$root/scripts/setup.sh"
    APT_PACKAGES=(zeb-missing-a zeb-missing-b)
    ZEB_APT_UPDATE_PAUSE=0
    install_packages
  ) > "$scratch/out" 2>&1
}

touch "$scratch/release-resolves"
install_two
status=$?
check "set-up ends well with a stale index" [ "$status" = 0 ]
check "it tries the update three times, then says why in one line and goes on with the lists there are" \
  eval '[ "$(grep -c "^update" "$scratch/apt-calls")" = 3 ] &&
    has "the package index did not refresh whole after 3 tries (Failed to fetch http://mirror.example/" "$scratch/out" &&
    has "Mirror sync in progress?); going on" "$scratch/out" &&
    has "going on with the lists there are" "$scratch/out"'
check "an install that cannot be resolved is tried once more from the release, saying why" \
  eval 'grep -qx -- "-t $codename install -y -qq --no-install-recommends zeb-missing-a zeb-missing-b" "$scratch/apt-calls" &&
    has "could not install zeb-missing-a zeb-missing-b (Unable to correct problems, you have held broken packages.); trying once more from the release'"'"'s own suite ($codename)" "$scratch/out"'

(source "$root/scripts/setup.sh" && cd "$scratch" && zeb_apt_source libcrypto++) > "$scratch/out" 2>&1
status=$?
check "the source package is fetched from the release the same way" \
  eval '[ "$status" = 0 ] && grep -qx -- "-t $codename source -qq libcrypto++" "$scratch/apt-calls"'

rm "$scratch/release-resolves"
install_two
status=$?
check "set-up fails, naming the packages, when the release cannot resolve them either" \
  eval '[ "$status" != 0 ] && has "could not install zeb-missing-a zeb-missing-b, also from $codename" "$scratch/out"'
