#!/usr/bin/env bash
# Builds both targets, then runs the benchmarks of each under Wine (headless, on Xvfb) and
# prints their figures, and at the end the pack and job figures of the builds side by side:
#   pack     pack_bench: a large pack unpacked from a local file and over loopback HTTP
#   catalog  catalog_bench: large catalogues parsed
#   dialog   dialog_bench and startup_bench: the dialog's answers during a 1 GiB kit, and
#            the time from program start to the dialog on screen
#   job      job_bench: the kit and the offline-update jobs against nginx on loopback,
#            compared with curl fetching the same items (bench/job-bench.sh)
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

seconds_now() { date +%s.%N; }
# Figures with a decimal point: LC_ALL is Russian for Wine's code page.
say() { LC_ALL=C printf "$@"; }
calc() { LC_ALL=C awk "BEGIN { printf \"$1\", $2 }"; }
goal_met() { LC_ALL=C awk "BEGIN { print ($1) ? \"met\" : \"MISSED\" }"; }
source "$ZEB_ROOT/bench/job-bench.sh"

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
