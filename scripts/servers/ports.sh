# Loopback ports for the project's own servers. Sourced.

# Prints N distinct ports that nothing listens on now; a server may still lose one to
# a race, which callers retry.
zeb_free_ports() {
  local count="$1" used ports=() port
  used=" $(ss -Htln | awk '{n = split($4, a, ":"); printf "%s ", a[n]}')"
  while [ ${#ports[@]} -lt "$count" ]; do
    port=$((20000 + RANDOM % 30000))
    case "$used ${ports[*]} " in *" $port "*) continue;; esac
    ports+=("$port")
  done
  echo "${ports[@]}"
}
