#!/usr/bin/env bash
# Builds both targets, then runs the benchmarks of each under Wine (headless, on Xvfb) and
# prints their figures, and at the end the pack and job figures of the builds side by side:
#   pack     pack_bench: a large pack unpacked from a local file and over loopback HTTP
#   catalog  catalog_bench: large catalogues parsed
#   dialog   dialog_bench and startup_bench: the dialog's answers during a 1 GiB kit, and
#            the time from program start to the dialog on screen
#   job      job_bench: the kit and the offline-update jobs against nginx on loopback,
#            compared with curl fetching the same items
# Options:
#   --only LIST                 comma-separated subset of pack,catalog,job,dialog (default: all)
#   --arches LIST               comma-separated builds, i686 (32-bit) and x86_64 (64-bit)
#                               (default: both; only those that run natively here, the
#                               others named as left out)
#   --files N --file-mib M      pack_bench's pack (default 64 x 16 MiB)
#   --catalog-runs N            catalog_bench's runs (default 3)
#   --job-rounds N              how often each job and curl measurement is made (default 5)
#   --job-breakdown             also time the system calls of the job's worker (its import
#                               table patched in the benchmark program) and print where the
#                               time goes
#   --job-second-rounds N       paired rounds of the second kit run and md5sum (default 3)
#   --job-second-only           of the job benchmark, only the second runs (kit, offline) and,
#                               with --job-versus, the first offline download of both builds
#   --job-check-only            of those, only the first offline download of both builds
#   --job-versus DIR            also time that build folder's job_bench (DIR/<target>/bench,
#                               e.g. an earlier commit's) in the second-run rounds
#   --job-databases N --job-database-mib M --job-initial-mib M
#                               the job site: N databases of M MiB, all in kit 65, and
#                               initial.pack (default 14 x 64 and 128: 1 GiB)
# The job site is generated once into $ZEB_BUILD_DIR/job-bench-cache/ and reused by both
# builds; the downloads go to $ZEB_BUILD_DIR/job-bench-run/, which is removed at the end.
# Each job round runs every build's job and curl on the same items, so that the builds'
# ratios against curl come from the same minutes of the machine.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

usage() {
  awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "${BASH_SOURCE[0]}" >&2
  exit 2
}

only="pack,catalog,job,dialog"
arches_option="$(IFS=,; echo "${ZEB_ARCHES[*]}")"
pack_args=()
catalog_runs=3
job_rounds=5
job_databases=14
job_database_mib=64
job_initial_mib=128
job_breakdown=()
job_second_rounds=3
job_second_only=0
job_check_only=0
job_versus=""
while [ $# -gt 0 ]; do
  if [ "$1" = --job-breakdown ]; then
    job_breakdown=(--breakdown)
    shift
    continue
  fi
  if [ "$1" = --job-second-only ] || [ "$1" = --job-check-only ]; then
    job_second_only=1
    [ "$1" = --job-check-only ] && job_check_only=1
    shift
    continue
  fi
  [ $# -ge 2 ] || usage
  case "$1" in
    --only) only="$2";;
    --arches) arches_option="$2";;
    --files|--file-mib) pack_args+=("$1" "$2");;
    --catalog-runs) catalog_runs="$2";;
    --job-rounds) job_rounds="$2";;
    --job-second-rounds) job_second_rounds="$2";;
    --job-versus) job_versus="$2";;
    --job-databases) job_databases="$2";;
    --job-database-mib) job_database_mib="$2";;
    --job-initial-mib) job_initial_mib="$2";;
    *) usage;;
  esac
  shift 2
done
for n in "$catalog_runs" "$job_rounds" "$job_second_rounds" "$job_databases" "$job_database_mib" "$job_initial_mib"; do
  [[ "$n" =~ ^[1-9][0-9]*$ ]] || usage
done
wants() { case ",$only," in *",$1,"*) return 0;; *) return 1;; esac; }
IFS=, read -r -a arches <<<"$arches_option"
for arch in "${arches[@]}"; do
  case " ${ZEB_ARCHES[*]} " in *" $arch "*) ;; *) usage;; esac
done

for arch in "${arches[@]}"; do
  ZEB_ARCH="$arch" "$ZEB_ROOT/scripts/build.sh"
done
# Only the builds that run natively: an emulated run's times measure the emulator.
source "$ZEB_ROOT/scripts/machine/wine.sh"
native=()
for arch in "${arches[@]}"; do
  if [ "$arch" != i686 ] || [ "$ZEB_I386" = native ]; then
    native+=("$arch")
  elif [ "$ZEB_I386" = emulated ]; then
    echo "bench: the $arch build (32-bit) is left out: here it runs only under $ZEB_I386_REASON, whose speed its times would measure"
  else
    echo "bench: the $arch build (32-bit) is left out: $(zeb_cannot_run "$arch")"
  fi
done
[ ${#native[@]} -gt 0 ] || { echo "bench: none of the builds asked for runs natively here" >&2; exit 1; }
arches=("${native[@]}")
source "$ZEB_ROOT/scripts/machine/display.sh"
source "$ZEB_ROOT/scripts/servers/ports.sh"
source "$ZEB_ROOT/scripts/servers/nginx.sh"

# Makes $1 the build that `wine` and $bench refer to: its Wine prefix and its folder.
use_arch() {
  zeb_target "$1"
  bench="$ZEB_ARCH_BUILD_DIR/bench"
}

job_run="$ZEB_BUILD_DIR/job-bench-run"
job_nginx="$ZEB_BUILD_DIR/job-bench-nginx"
cleanup() {
  zeb_nginx_stop
  rm -rf "$job_run"
  zeb_stop_display
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

zeb_start_display
for arch in "${arches[@]}"; do
  use_arch "$arch"
  wineserver -p60 2>/dev/null || true
  # Start Wine's own services first, so that their start-up is not timed.
  wine cmd /c exit </dev/null >/dev/null 2>&1
done

# --- the job benchmark's helpers ------------------------------------------------------


seconds_now() { date +%s.%N; }
# Figures with a decimal point: LC_ALL is Russian for Wine's code page.
say() { LC_ALL=C printf "$@"; }
calc() { LC_ALL=C awk "BEGIN { printf \"$1\", $2 }"; }
goal_met() { LC_ALL=C awk "BEGIN { print ($1) ? \"met\" : \"MISSED\" }"; }

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

declare -A figures  # "<who>-<what> <round>" -> "seconds fetch baseline peak" (ours) or "seconds" (curl)

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
  figures["$ZEB_ARCH-$what $round"]="$seconds $fetch $baseline $peak"
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
  figures["curl-$what $round"]="$seconds"
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
  figures["tee-kit $round"]="$seconds"
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

# "median (min to max)" of the numbers given.
median_and_spread() {
  printf '%s\n' "$@" | sort -g | LC_ALL=C awk '{ r[NR] = $1 }
    END { printf "%.2f (%.2f to %.2f)", NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2, r[1], r[NR] }'
}

declare -A job_ratio job_memory  # "<arch>-<what>" -> median ratio to curl, highest rise in MiB

summarize() {  # arch kit|offline "title" goal
  local arch="$1" what="$2" title="$3" goal="$4" round curl ratio ratios=() total_ours=0 total_curl=0 result
  local seconds fetch baseline peak rise worst_rise=-1e9 worst=""
  echo "$title ($arch):"
  for round in $(seq "$job_rounds"); do
    read -r seconds fetch baseline peak <<<"${figures["$arch-$what $round"]}"
    curl="${figures["curl-$what $round"]}"
    ratio="$(calc %.2f "$seconds / $curl")"
    ratios+=("$ratio")
    say '  round %d: ours %.2f s, curl %.2f s: ratio %s\n' "$round" "$seconds" "$curl" "$ratio"
    total_ours="$(calc %.6f "$total_ours + $seconds")"
    total_curl="$(calc %.6f "$total_curl + $curl")"
    rise="$(calc %.1f "($peak - $baseline) / 1048576")"
    if LC_ALL=C awk "BEGIN { exit !($rise > $worst_rise) }"; then
      worst_rise="$rise"
      worst="$(calc %.1f "$peak / 1048576") MiB, baseline $(calc %.1f "$baseline / 1048576") MiB (round $round)"
    fi
  done
  say '  sum of all rounds: ours %.2f s, curl %.2f s: ratio %.2f\n' "$total_ours" "$total_curl" \
    "$(calc %.2f "$total_ours / $total_curl")"
  say '  ratio ours/curl over the rounds: median %s\n' "$(median_and_spread "${ratios[@]}")"
  # The same ratios by the kind of round: with the disk setting the pace, and with
  # writes going to memory, when the CPU work of each stage counts.
  local disk=() memory=()
  for round in $(seq "$job_rounds"); do
    if [ "${round_write[$round]}" -lt 1000 ]; then disk+=("${ratios[$((round - 1))]}"); else memory+=("${ratios[$((round - 1))]}"); fi
  done
  [ ${#disk[@]} = 0 ] || say '    disk-bound rounds (%d): median %s\n' "${#disk[@]}" "$(median_and_spread "${disk[@]}")"
  [ ${#memory[@]} = 0 ] || say '    CPU-bound rounds (%d): median %s\n' "${#memory[@]}" "$(median_and_spread "${memory[@]}")"
  if [ "$what" = kit ]; then
    local tee tee_ratios=()
    for round in $(seq "$job_rounds"); do
      read -r seconds fetch baseline peak <<<"${figures["$arch-$what $round"]}"
      tee="${figures["tee-kit $round"]}"
      tee_ratios+=("$(calc %.2f "$seconds / $tee")")
    done
    say '  ratio ours/(curl | tee | md5sum) over the rounds: median %s (goal <= 0.90: %s)\n' \
      "$(median_and_spread "${tee_ratios[@]}")" \
      "$(goal_met "$(median_and_spread "${tee_ratios[@]}" | cut -d' ' -f1) <= 0.90")"
    disk=() memory=()
    for round in $(seq "$job_rounds"); do
      if [ "${round_write[$round]}" -lt 1000 ]; then disk+=("${tee_ratios[$((round - 1))]}"); else memory+=("${tee_ratios[$((round - 1))]}"); fi
    done
    [ ${#disk[@]} = 0 ] || say '    disk-bound rounds (%d): median %s\n' "${#disk[@]}" "$(median_and_spread "${disk[@]}")"
    [ ${#memory[@]} = 0 ] || say '    CPU-bound rounds (%d): median %s\n' "${#memory[@]}" "$(median_and_spread "${memory[@]}")"
  fi
  # The median of the rounds' ratios: one round that met a freak write speed does not decide.
  ratio="$(printf '%s\n' "${ratios[@]}" | sort -g | LC_ALL=C awk '{ r[NR] = $1 }
    END { printf "%.2f", NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2 }')"
  result="$(goal_met "$ratio <= $goal")"
  say '  median ratio ours/curl: %s (goal <= %.2f: %s)\n' "$ratio" "$goal" "$result"
  job_ratio["$arch-$what"]="$ratio"
  job_memory["$arch-$what"]="$worst_rise"
  result="$(goal_met "$worst_rise <= 16")"
  say '  private memory of the job process: highest peak %s: %+.1f MiB above the baseline (goal <= 16: %s)\n' \
    "$worst" "$worst_rise" "$result"
}

# Body bytes nginx has sent so far, from its access log ($request_uri $status $body_bytes_sent ...).
served_bytes() { awk '{ s += $3 } END { printf "%d", s }' "$job_nginx/access.log"; }
# Requests nginx has answered so far, the catalogue's left out.
served_requests() { awk '$1 !~ /latest\.xml$/ { n++ } END { printf "%d", n }' "$job_nginx/access.log"; }
drop_caches() { sync; if echo 3 > /proc/sys/vm/drop_caches 2>/dev/null; then cached="page cache dropped"; fi; }
median_of() { printf '%s\n' "$@" | sort -g | LC_ALL=C awk '{ r[NR] = $1 }
  END { printf "%.2f (%.2f to %.2f)", NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2, r[1], r[NR] }'; }

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
  for arch in "${arches[@]}"; do
    echo
    summarize "$arch" kit "kit job (RunKitJob(65): unpacks, checks MD5) against curl fetching its packs" 1.25
    summarize "$arch" offline "offline-update job (RunOfflineUpdateJob) against curl fetching its files and packs" 1.00
  done
  zeb_nginx_stop
  rm -rf "$job_run"
}

# --- the runs --------------------------------------------------------------------------

# Writing into page cache that a deletion has just freed is many times faster here than
# writing into memory the host must supply afresh (measured with dd, 1 GiB: 0.28 s right
# after deleting a 2 GiB file, 3.4 s ten seconds later, 3.6 s on fresh memory). The host
# takes most freed memory back within seconds, so a benchmark that follows one which
# deleted its outputs waits first. Not all of it: the machine also pages out cold page
# cache by itself (DAMON, up to 128 MiB/s), and the first GiB or two written after a
# pause still often run several times faster; hence the job benchmark's warm-up round.
settle() { sleep 15; }

declare -A pack  # "<arch> <figure>" -> pack_bench's figure

# Keeps pack_bench's figures of the build $ZEB_ARCH from its output $1.
keep_pack_figures() {
  local output="$1" name
  pack["$ZEB_ARCH md5"]="$(awk '$1 == "md5" { print $2 }' <<<"$output")"
  pack["$ZEB_ARCH write"]="$(awk '$1 == "write" { print $2 }' <<<"$output")"
  for name in local http; do
    pack["$ZEB_ARCH $name speed"]="$(awk -v name="$name" '$1 == name && $2 == "unpack" { print $3 }' <<<"$output")"
    pack["$ZEB_ARCH $name"]="$(awk -v name="$name" '$1 == name && $2 == "unpack" { print $5 }' <<<"$output")"
    # The line after the unpack's: "... baseline N MiB: +R MiB (goal ...)".
    pack["$ZEB_ARCH $name memory"]="$(awk -v name="$name" '$1 == name && $2 == "unpack" { getline;
      if (match($0, /: [+-][0-9.]+ MiB/)) print substr($0, RSTART + 2, RLENGTH - 6) }' <<<"$output")"
  done
}

# One row of the side-by-side table: a figure of each build and, for "ratio" rows with
# two builds, the first build's figure over the last's.
row() {  # title, format, ratio|plain, value per build...
  local title="$1" format="$2" kind="$3" value
  shift 3
  local first="${1:-}" last="${!#}"
  say '%-44s' "$title"
  for value in "$@"; do say ' %16s' "$( [ -n "$value" ] && say "$format" "$value" || echo "-")"; done
  if [ "$kind" = ratio ] && [ $# -gt 1 ] && [ -n "$first" ] && [ -n "$last" ]; then
    say ' %10s' "$(calc %.2f "$first / $last")"
  fi
  echo
}

# The pack and job figures of every build side by side.
side_by_side() {
  local arch heading="" what values
  for arch in "${arches[@]}"; do
    use_arch "$arch"
    heading+="$(say ' %16s' "$arch ($ZEB_ARCH_NAME)")"
  done
  echo "=== side by side (pack_bench: 1 MB = 10^6 bytes; job_bench: median of the rounds)"
  say '%-44s%s' "" "$heading"
  [ ${#arches[@]} -gt 1 ] && say ' %10s' "${arches[0]}/${arches[-1]}"
  echo
  if wants pack; then
    values=(); for arch in "${arches[@]}"; do values+=("${pack["$arch md5"]:-}"); done
    row "md5 (Crypto++), MB/s" %.1f ratio "${values[@]}"
    values=(); for arch in "${arches[@]}"; do values+=("${pack["$arch write"]:-}"); done
    row "write, MB/s" %.1f ratio "${values[@]}"
    for what in local http; do
      values=(); for arch in "${arches[@]}"; do values+=("${pack["$arch $what speed"]:-}"); done
      row "$what unpack, MB/s" %.1f ratio "${values[@]}"
      values=(); for arch in "${arches[@]}"; do values+=("${pack["$arch $what"]:-}"); done
      row "$what unpack, of the limit (goal >= 0.9)" %.2f ratio "${values[@]}"
      values=(); for arch in "${arches[@]}"; do values+=("${pack["$arch $what memory"]:-}"); done
      row "$what unpack, peak memory, MiB over baseline" %+.1f plain "${values[@]}"
    done
  fi
  if wants job && [ "$job_second_only" = 0 ]; then
    for what in kit offline; do
      values=(); for arch in "${arches[@]}"; do values+=("${job_ratio["$arch-$what"]:-}"); done
      row "$what job, ratio to curl" %.2f ratio "${values[@]}"
      values=(); for arch in "${arches[@]}"; do values+=("${job_memory["$arch-$what"]:-}"); done
      row "$what job, peak memory, MiB over baseline" %+.1f plain "${values[@]}"
    done
    if [ ${#arches[@]} -gt 1 ]; then
      echo "Goal: the ${arches[0]} build's job ratios within 10 % of the ${arches[-1]} build's (${arches[0]}/${arches[-1]} <= 1.10):"
      for what in kit offline; do
        say '  %s job: %s\n' "$what" "$(goal_met "${job_ratio["${arches[0]}-$what"]} / ${job_ratio["${arches[-1]}-$what"]} <= 1.10")"
      done
    fi
  fi
}

if wants pack; then
  for arch in "${arches[@]}"; do
    use_arch "$arch"
    # The previous run deleted its gigabytes: see settle.
    [ "$arch" = "${arches[0]}" ] || settle
    echo "=== pack_bench ($arch, $ZEB_ARCH_NAME)"
    output="$(wine "$bench/pack_bench.exe" "${pack_args[@]}" | tr -d '\r')"
    echo "$output"
    keep_pack_figures "$output"
    echo
  done
fi
if wants catalog; then
  for arch in "${arches[@]}"; do
    use_arch "$arch"
    echo "=== catalog_bench ($arch, $ZEB_ARCH_NAME)"
    wine "$bench/catalog_bench.exe" "$catalog_runs"
    echo
  done
fi
if wants job; then
  if wants pack; then settle; fi
  echo "=== job_bench (${arches[*]})"
  run_job_bench
  echo
fi
if wants dialog; then
  for arch in "${arches[@]}"; do
    use_arch "$arch"
    echo "=== dialog_bench ($arch, $ZEB_ARCH_NAME: slow and stalled links; the dialog while a 1 GiB kit downloads)"
    wine "$bench/dialog_bench.exe" 64 "$(winepath -w "$ZEB_ARCH_BUILD_DIR/tests/tool_under_test.exe")" 3
    echo
    echo "=== startup_bench ($arch, $ZEB_ARCH_NAME)"
    wine "$bench/startup_bench.exe" "$(winepath -w "$ZEB_ARCH_BUILD_DIR/app/ZebOfflineDownload.exe")" 5
    echo
  done
fi
if wants pack || wants job; then
  side_by_side
fi
