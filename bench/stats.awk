# The statistics of scripts/bench.sh's job benchmark, in one place.
#
#   awk -f bench/stats.awk -v list=1
#     Input: one number per line. Prints "median (lowest to highest)".
#
#   awk -f bench/stats.awk -v builds="i686 x86_64" FIGURES
#     Input: one line per measurement of the paired rounds,
#       round write-MB/s who what seconds [baseline-bytes peak-bytes]
#     who: a build, curl or tee (curl | tee | md5sum); what: kit or offline; the memory
#     figures are a build's. Round 0 is a warm-up and is left out. For each build and job,
#     prints the rounds' ratios to curl (the kit's also to curl | tee | md5sum), their median
#     and spread, overall and by the kind of round (a round whose write speed was below
#     1000 MB/s was disk-bound; above, the writes only filled memory and the CPU set the
#     pace), each against its goal, and the highest rise of private memory; then, for the
#     table side by side, one line per build and job:
#       summary BUILD WHAT MEDIAN-RATIO HIGHEST-RISE-MiB

function sort_numbers(a, n,    i, j, v) {  # a[1..n], in place
  for (i = 2; i <= n; i++) {
    v = a[i]
    for (j = i - 1; j >= 1 && a[j] > v; j--) a[j + 1] = a[j]
    a[j + 1] = v
  }
}
function median(a, n,    s, i) {
  for (i = 1; i <= n; i++) s[i] = a[i]
  sort_numbers(s, n)
  return n % 2 ? s[(n + 1) / 2] : (s[n / 2] + s[n / 2 + 1]) / 2
}
function spread(a, n,    s, i) {
  for (i = 1; i <= n; i++) s[i] = a[i]
  sort_numbers(s, n)
  return sprintf("%.2f (%.2f to %.2f)", median(s, n), s[1], s[n])
}
function goal(met) { return met ? "met" : "MISSED" }

# The ratios of the rounds, overall and by the kind of round.
function ratios(label, a, n, goal_at,    r, disk, cpu, nd, nc, line) {
  line = sprintf("  ratio %s over the rounds: median %s", label, spread(a, n))
  if (goal_at != "") line = line sprintf(" (goal <= %.2f: %s)", goal_at, goal(median(a, n) <= goal_at))
  print line
  for (r = 1; r <= n; r++) {
    if (write_speed[order[r]] < 1000) disk[++nd] = a[r]; else cpu[++nc] = a[r]
  }
  if (nd) printf "    disk-bound rounds (%d): median %s\n", nd, spread(disk, nd)
  if (nc) printf "    CPU-bound rounds (%d): median %s\n", nc, spread(cpu, nc)
}

function summarize(build, what, title, goal_at,    r, round, n, ours, curl, tee, total_ours, total_curl, rise, worst, worst_line, m) {
  printf "%s (%s):\n", title, build
  worst = -1e9
  for (r = 1; r <= rounds; r++) {
    round = order[r]
    ours = seconds[build, what, round]
    curl = seconds["curl", what, round]
    to_curl[r] = ours / curl
    if (what == "kit") to_tee[r] = ours / seconds["tee", what, round]
    printf "  round %d: ours %.2f s, curl %.2f s: ratio %.2f\n", round, ours, curl, to_curl[r]
    total_ours += ours
    total_curl += curl
    rise = (peak[build, what, round] - baseline[build, what, round]) / 1048576
    if (rise > worst) {
      worst = rise
      worst_line = sprintf("%.1f MiB, baseline %.1f MiB (round %d)", peak[build, what, round] / 1048576,
                           baseline[build, what, round] / 1048576, round)
    }
  }
  printf "  sum of all rounds: ours %.2f s, curl %.2f s: ratio %.2f\n", total_ours, total_curl, total_ours / total_curl
  ratios("ours/curl", to_curl, rounds, "")
  if (what == "kit") ratios("ours/(curl | tee | md5sum)", to_tee, rounds, 0.90)
  # The median of the rounds' ratios: one round that met a freak write speed does not decide.
  m = median(to_curl, rounds)
  printf "  median ratio ours/curl: %.2f (goal <= %.2f: %s)\n", m, goal_at, goal(m <= goal_at)
  printf "  private memory of the job process: highest peak %s: %+.1f MiB above the baseline (goal <= 16: %s)\n",
    worst_line, worst, goal(worst <= 16)
  summaries = summaries sprintf("summary %s %s %.2f %.1f\n", build, what, m, worst)
}

list { value[++count] = $1; next }
$1 == 0 { next }
{
  if (!($1 in write_speed)) order[++rounds] = $1
  write_speed[$1] = $2
  seconds[$3, $4, $1] = $5
  if (NF >= 7) { baseline[$3, $4, $1] = $6; peak[$3, $4, $1] = $7 }
}
END {
  if (list) { print spread(value, count); exit }
  n = split(builds, build, " ")
  for (b = 1; b <= n; b++) {
    print ""
    summarize(build[b], "kit", "kit job (RunKitJob(65): unpacks, checks MD5) against curl fetching its packs", 1.25)
    summarize(build[b], "offline", "offline-update job (RunOfflineUpdateJob) against curl fetching its files and packs", 1.00)
  }
  printf "%s", summaries
}
