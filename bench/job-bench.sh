# The job benchmark of scripts/bench.sh: the kit and the offline-update jobs of job_bench
# against nginx on loopback, beside curl fetching the same items, in paired rounds; the
# second runs beside md5sum over the same files. Sourced by scripts/bench.sh, which has
# set the options (job_*), the builds ($arches, use_arch) and settle; run_job_bench runs it.
# The rounds' figures go to one table, which bench/stats.awk sums up.

# Sum of the sizes of the listed paths below $1.
bytes_of() {
  local dir="$1" total=0 p
  shift
  for p in "$@"; do total=$((total + $(stat -c %s "$dir/$p"))); done
  echo "$total"
}

# Every listed path below $2 has the size it has below $1.
same_sizes() {
  local from="$1" to="$2" p
  shift 2
  for p in "$@"; do
    [ -f "$to/$p" ] && [ "$(stat -c %s "$from/$p")" = "$(stat -c %s "$to/$p")" ] || {
      echo "job bench: $to/$p is missing or has the wrong size" >&2
      return 1
    }
  done
}

# The rounds' table (bench/stats.awk): round, write speed, who, what, seconds[, baseline, peak].
job_figures="$ZEB_BUILD_DIR/job-bench-figures.txt"
record() { echo "$1 ${round_write[$1]} ${*:2}" >> "$job_figures"; }
declare -A job_ratio job_memory  # "<build>-<what>" -> median ratio to curl, highest rise in MiB

# One job of the build $ZEB_ARCH in its own Wine process; the process times the job
# itself (its start-up and the catalogue fetch are not in the time).
measure_ours() {  # kit|offline round
  local what="$1" round="$2" target="$job_run/$1-$ZEB_ARCH-$2" output seconds fetch baseline peak
  mkdir -p "$target"
  sync
  output="$(wine "$bench/job_bench.exe" "$what" "$job_base/latest.xml" "$(winepath -w "$target")" \
    "${job_breakdown[@]}" | tr -d '\r')" || {
    echo "$output"
    echo "job bench: the $what job failed; --job-breakdown also lists the system calls that failed" >&2
    return 1
  }
  read -r seconds fetch baseline peak <<<"$(sed -n 's/^seconds=\(.*\) fetch=\(.*\) baseline=\(.*\) peak=\(.*\)$/\1 \2 \3 \4/p' <<<"$output")"
  [ -n "$peak" ] || { echo "job bench: no figures from job_bench $what: $output" >&2; return 1; }
  if [ "$what" = kit ]; then
    local lines
    lines="$(tr -cd '\n' < "$target/ZebDbLst.ini" | wc -c)"
    [ "$lines" = "$job_databases" ] || { echo "job bench: ZebDbLst.ini lists $lines databases" >&2; return 1; }
  else
    same_sizes "$job_site" "$target" "${offline_paths[@]}"
  fi
  record "$round" "$ZEB_ARCH" "$what" "$seconds" "$baseline" "$peak"
  say '  round %d  %-20s %8.2f s  %7.1f MB/s   (catalogue fetch %.3f s, not included)\n' "$round" "$what job, $ZEB_ARCH" \
    "$seconds" "$(calc %.3f "${job_bytes[$what]} / 1e6 / $seconds")" "$fetch"
  grep -v '^seconds=' <<<"$output" || true  # the breakdown, when asked for
}

# curl, one process and one connection, fetching the same items in the same order, each
# into a file of its own on the same file system.
measure_curl() {  # kit|offline round
  local what="$1" round="$2" target="$job_run/$1-curl-$2" start end seconds p args=()
  local -n paths="${what}_paths"
  mkdir -p "$target"
  for p in "${paths[@]}"; do args+=(-o "$target/$p" "$job_base/$p"); done
  sync
  start="$(seconds_now)"
  curl -sS --fail "${args[@]}"
  end="$(seconds_now)"
  same_sizes "$job_site" "$target" "${paths[@]}"
  seconds="$(calc %.3f "$end - $start")"
  record "$round" curl "$what" "$seconds"
  say '  round %d  %-20s %8.2f s  %7.1f MB/s\n' "$round" "curl, $what items" "$seconds" \
    "$(calc %.3f "${job_bytes[$what]} / 1e6 / $seconds")"
}

# The same work as the kit job without the unpacking: each pack fetched by curl, written
# by tee into its file and hashed by md5sum, the three running at once.
measure_tee() {  # round
  local round="$1" target="$job_run/kit-tee-$1" start end seconds p
  mkdir -p "$target"
  sync
  start="$(seconds_now)"
  for p in "${kit_paths[@]}"; do
    curl -sS --fail "$job_base/$p" | tee "$target/$p" | md5sum > /dev/null
  done
  end="$(seconds_now)"
  same_sizes "$job_site" "$target" "${kit_paths[@]}"
  seconds="$(calc %.3f "$end - $start")"
  record "$round" tee kit "$seconds"
  say '  round %d  %-20s %8.2f s  %7.1f MB/s\n' "$round" "curl | tee | md5sum" "$seconds" \
    "$(calc %.3f "${job_bytes[kit]} / 1e6 / $seconds")"
}

# The machine's own speeds now: md5sum over the cached kit packs, and 1 GiB written by dd
# into a new file (no sync, like the downloads). A run whose write speed is far below its
# MD5 speed is disk-bound.
machine_speeds() {  # label
  local start end md5 write file="$job_run/speed-$RANDOM"
  start="$(seconds_now)"
  (cd "$job_site" && md5sum "${kit_paths[@]}" > /dev/null)
  end="$(seconds_now)"
  md5="$(calc %.0f "${job_bytes[kit]} / 1e6 / ($end - $start)")"
  start="$(seconds_now)"
  dd if=/dev/zero of="$file" bs=4M count=256 status=none
  end="$(seconds_now)"
  write="$(calc %.0f "1073741824 / 1e6 / ($end - $start)")"
  say '  machine %s: md5sum %s MB/s, write %s MB/s\n' "$1" "$md5" "$write"
}

declare -A round_write  # round -> MB/s that dd wrote at when the round began

# This round's write speed: 256 MiB written by dd into a new file. Above about 1000 MB/s
# the writes only fill memory and the round is CPU-bound; below, the disk sets the pace.
probe_write() {  # round
  local start end
  start="$(seconds_now)"
  dd if=/dev/zero of="$job_run/write-probe-$1" bs=4M count=64 status=none
  end="$(seconds_now)"
  round_write["$1"]="$(calc %.0f "268435456 / 1e6 / ($end - $start)")"
  say '  round %d  machine write %s MB/s: %s\n' "$1" "${round_write[$1]}" \
    "$( [ "${round_write[$1]}" -lt 1000 ] && echo "disk-bound" || echo "CPU-bound (writes go to memory)")"
}

# "median (lowest to highest)" of the numbers given.
median_of() { printf '%s\n' "$@" | LC_ALL=C awk -f "$ZEB_ROOT/bench/stats.awk" -v list=1; }

# Body bytes nginx has sent so far, from its access log ($request_uri $status $body_bytes_sent ...).
served_bytes() { awk '{ s += $3 } END { printf "%d", s }' "$job_nginx/access.log"; }
# Requests nginx has answered so far, the catalogue's left out.
served_requests() { awk '$1 !~ /latest\.xml$/ { n++ } END { printf "%d", n }' "$job_nginx/access.log"; }
drop_caches() { sync; if echo 3 > /proc/sys/vm/drop_caches 2>/dev/null; then cached="page cache dropped"; fi; }

# One job (kit or offline) of the job_bench in $1 into $2; sets seconds, baseline, peak,
# requests, sent.
job_run_with() {  # bench folder, kit|offline, target
  local output before_bytes before_requests
  mkdir -p "$3"
  before_bytes="$(served_bytes)"
  before_requests="$(served_requests)"
  output="$(wine "$1/job_bench.exe" "$2" "$job_base/latest.xml" "$(winepath -w "$3")" | tr -d '\r')" || {
    echo "$output" >&2
    return 1
  }
  read -r seconds baseline peak <<<"$(sed -n 's/^seconds=\(.*\) fetch=\(.*\) baseline=\(.*\) peak=\(.*\)$/\1 \3 \4/p' <<<"$output")"
  sent=$(($(served_bytes) - before_bytes))
  requests=$(($(served_requests) - before_requests))
}

# A second job (kit or offline) into the folder of a finished one, beside md5sum over the
# same files with the page cache dropped before each, in paired rounds; with --job-versus,
# the job_bench of that other build too, in the same rounds (its figures first).
measure_second_run() {  # kit|offline
  local what="$1" target="$job_run/again-$1-$ZEB_ARCH" full sent_full md5 start round read_speed biggest
  local seconds baseline peak requests sent cached="page cache kept" which
  local -a contenders=("$bench") names=(this) ratios_this=() ratios_versus=() runs_this=() runs_versus=() md5s=()
  if [ -n "$job_versus" ]; then
    contenders=("$job_versus/$ZEB_ARCH/bench" "$bench")
    names=(versus this)
  fi
  mkdir -p "$target"
  job_run_with "$bench" "$what" "$target" || return 1
  full="$seconds"
  sent_full="$sent"
  for round in $(seq 1 "$job_second_rounds"); do
    for which in "${!contenders[@]}"; do
      drop_caches
      job_run_with "${contenders[$which]}" "$what" "$target" || return 1
      drop_caches
      start="$(seconds_now)"
      find "$target" -type f -print0 | xargs -0 md5sum > /dev/null
      md5="$(calc %.3f "$(seconds_now) - $start")"
      md5s+=("$md5")
      say '  round %d, %s (%s): second run %.2f s, md5sum %.2f s, ratio %.2f; %d requests, %d bytes sent; %+.1f MiB\n' \
        "$round" "${names[$which]}" "$cached" "$seconds" "$md5" "$(calc %.3f "$seconds / $md5")" "$requests" "$sent" \
        "$(calc %.1f "($peak - $baseline) / 1048576")"
      if [ "${names[$which]}" = this ]; then
        ratios_this+=("$(calc %.3f "$seconds / $md5")")
        runs_this+=("$seconds")
      else
        ratios_versus+=("$(calc %.3f "$seconds / $md5")")
        runs_versus+=("$seconds")
      fi
    done
  done
  drop_caches
  biggest="$(find "$target" -type f -printf '%s %p\n' | sort -n | tail -1 | cut -d' ' -f2-)"
  read_speed="$(LC_ALL=C dd if="$biggest" of=/dev/null bs=4M 2>&1 | sed -n 's/.*, \([0-9.,]* [MGk]B\/s\)$/\1/p')"
  if [ -n "$job_versus" ]; then
    say '  second %s run, %s, the other build (%s): %s s; ratio to md5sum %s\n' "$what" "$ZEB_ARCH" "$job_versus" \
      "$(median_of "${runs_versus[@]}")" "$(median_of "${ratios_versus[@]}")"
  fi
  say '  second %s run, %s: %s s; md5sum over the same files %s s; ratio %s (goal <= 1.30: %s)\n' "$what" "$ZEB_ARCH" \
    "$(median_of "${runs_this[@]}")" "$(median_of "${md5s[@]}")" "$(median_of "${ratios_this[@]}")" \
    "$(goal_met "$(median_of "${ratios_this[@]}" | cut -d' ' -f1) <= 1.3")"
  say '  full download into the empty folder %.2f s, %d bytes sent; the last second run sent %d = %.4f%% (goal <= 1%%: %s)\n' \
    "$full" "$sent_full" "$sent" "$(calc %.4f "100 * $sent / $sent_full")" "$(goal_met "$sent <= 0.01 * $sent_full")"
  say '  disk read (dd, largest file, page cache dropped) %s\n' "$read_speed"
}

# A first offline-update job of this build and of the --job-versus build, and curl
# fetching the same items, in paired rounds, each into a new folder: what checking the
# packs costs a first download.
measure_offline_check_cost() {
  local round seconds baseline peak requests sent cached start end curl_seconds p args
  local -a this_ratios=() versus_ratios=() pair_ratios=()
  local versus this
  for round in $(seq 1 "$job_second_rounds"); do
    probe_write "$round"
    # Each build first in every other round.
    if [ $((round % 2)) = 1 ]; then
      job_run_with "$job_versus/$ZEB_ARCH/bench" offline "$job_run/first-versus-$ZEB_ARCH-$round" || return 1
      versus="$seconds"
      job_run_with "$bench" offline "$job_run/first-this-$ZEB_ARCH-$round" || return 1
      this="$seconds"
    else
      job_run_with "$bench" offline "$job_run/first-this-$ZEB_ARCH-$round" || return 1
      this="$seconds"
      job_run_with "$job_versus/$ZEB_ARCH/bench" offline "$job_run/first-versus-$ZEB_ARCH-$round" || return 1
      versus="$seconds"
    fi
    mkdir -p "$job_run/first-curl-$ZEB_ARCH-$round"
    args=()
    for p in "${offline_paths[@]}"; do args+=(-o "$job_run/first-curl-$ZEB_ARCH-$round/$p" "$job_base/$p"); done
    sync
    start="$(seconds_now)"
    curl -sS --fail "${args[@]}"
    end="$(seconds_now)"
    curl_seconds="$(calc %.3f "$end - $start")"
    this_ratios+=("$(calc %.3f "$this / $curl_seconds")")
    versus_ratios+=("$(calc %.3f "$versus / $curl_seconds")")
    pair_ratios+=("$(calc %.3f "$this / $versus")")
    say '  round %d (dd writes %s MB/s): the other build %.2f s, this build %.2f s, curl %.2f s: ratios to curl %.2f and %.2f, this/other %.3f\n' \
      "$round" "${round_write[$round]}" "$versus" "$this" "$curl_seconds" "$(calc %.3f "$versus / $curl_seconds")" \
      "$(calc %.3f "$this / $curl_seconds")" "$(calc %.3f "$this / $versus")"
  done
  say '  first offline download, %s: ratio to curl %s this build, %s the other; this/other %s (goal <= 1.03: %s)\n' \
    "$ZEB_ARCH" "$(median_of "${this_ratios[@]}")" "$(median_of "${versus_ratios[@]}")" "$(median_of "${pair_ratios[@]}")" \
    "$(goal_met "$(median_of "${pair_ratios[@]}" | cut -d' ' -f1) <= 1.03")"
}

run_job_bench() {
  local layout="${job_initial_mib}+${job_databases}x${job_database_mib}"
  local cache="$ZEB_BUILD_DIR/job-bench-cache/$layout" port attempt round
  mkdir -p "$cache"
  job_site="$cache/site/ulvooffline/update"
  for attempt in 1 2 3 4 5; do
    port="$(zeb_free_ports 1)"
    zeb_nginx_start "$job_nginx" "  server { listen 127.0.0.1:$port; root $cache/site; }" "$port" && break
    [ "$attempt" = 5 ] && return 1
  done
  job_base="http://127.0.0.1:$port/ulvooffline/update"
  use_arch "${arches[0]}"
  wine "$bench/job_bench.exe" generate "$(winepath -w "$cache")" "$job_base" --databases "$job_databases" \
    --database-mib "$job_database_mib" --initial-mib "$job_initial_mib" | tr -d '\r'
  mapfile -t kit_paths < <(tr -d '\r' < "$cache/kit-paths.txt")
  mapfile -t offline_paths < <(tr -d '\r' < "$cache/offline-paths.txt")
  declare -gA job_bytes=([kit]="$(bytes_of "$job_site" "${kit_paths[@]}")"
                         [offline]="$(bytes_of "$job_site" "${offline_paths[@]}")")
  [ "$(curl -s -o /dev/null -w '%{http_code} %{content_type}' "$job_base/latest.xml")" = "200 text/xml" ] || {
    echo "job bench: the server does not answer latest.xml as text/xml" >&2
    return 1
  }
  # Every measurement reads the site from the page cache.
  cat "$job_site"/* > /dev/null

  echo "served by nginx at $job_base (site cached in $cache)"
  say 'kit %d: %d packs, %s bytes; offline update: %d items, %s bytes (1 MB = 10^6 bytes)\n' "65" \
    "${#kit_paths[@]}" "${job_bytes[kit]}" "${#offline_paths[@]}" "${job_bytes[offline]}"
  echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "Every download goes to a folder of its own under $job_run, kept until the end"
  echo "(no measurement writes into page cache that a deletion has just freed); sync before each."
  echo "Order: kit, then offline update; ours first in odd rounds (${arches[*]}), curl first in even ones"
  echo "(then the builds in reverse order)."
  echo "Round 0 is a warm-up and is not counted."
  if [ -e "$job_run" ]; then  # left by an interrupted run
    rm -rf "$job_run"
    settle
  fi
  mkdir -p "$job_run"
  : > "$job_figures"
  # Round 0 is not counted: memory that the machine freed while idle is fast to write
  # into, and the first few GiB written after a pause find it (see settle).
  local what arch reversed=()
  for arch in "${arches[@]}"; do reversed=("$arch" "${reversed[@]}"); done
  machine_speeds "before the rounds"
  if [ "$job_second_only" = 1 ]; then
    if [ "$job_check_only" = 0 ]; then
      echo "A second run into the folder of a finished kit, and of a finished offline update:"
      for arch in "${arches[@]}"; do use_arch "$arch"; measure_second_run kit; measure_second_run offline; done
    fi
    if [ -n "$job_versus" ]; then
      echo "A first offline update against the other build's and curl:"
      for arch in "${arches[@]}"; do use_arch "$arch"; measure_offline_check_cost; done
    fi
    machine_speeds "after the rounds"
    zeb_nginx_stop
    rm -rf "$job_run"
    return 0
  fi
  for round in $(seq 0 "$job_rounds"); do
    probe_write "$round"
    for what in kit offline; do
      if [ $((round % 2)) = 1 ]; then
        for arch in "${arches[@]}"; do use_arch "$arch"; measure_ours "$what" "$round"; done
        measure_curl "$what" "$round"
        [ "$what" = offline ] || measure_tee "$round"
      else
        [ "$what" = offline ] || measure_tee "$round"
        measure_curl "$what" "$round"
        for arch in "${reversed[@]}"; do use_arch "$arch"; measure_ours "$what" "$round"; done
      fi
    done
  done
  machine_speeds "after the rounds"
  echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo
  echo "A second run into the folder of a finished kit, and of a finished offline update:"
  for arch in "${arches[@]}"; do use_arch "$arch"; measure_second_run kit; measure_second_run offline; done
  local stats median rise
  stats="$(LC_ALL=C awk -f "$ZEB_ROOT/bench/stats.awk" -v builds="${arches[*]}" "$job_figures")"
  grep -v '^summary ' <<<"$stats"
  while read -r _ arch what median rise; do
    job_ratio["$arch-$what"]="$median"
    job_memory["$arch-$what"]="$rise"
  done < <(grep '^summary ' <<<"$stats")
  zeb_nginx_stop
  rm -rf "$job_run"
}

