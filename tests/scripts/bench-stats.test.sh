# The benchmark's statistics (bench/stats.awk): medians of odd and even counts, the rounds
# split by their write speed, the warm-up left out, and the line the side-by-side table reads.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
stats() { LC_ALL=C awk -f "$root/bench/stats.awk" "$@"; }

check "a list's median and spread, of an odd and of an even count" \
  eval '[ "$(printf "%s\n" 3 1 2 | stats -v list=1)" = "2.00 (1.00 to 3.00)" ] &&
    [ "$(printf "%s\n" 4 1 3 2 | stats -v list=1)" = "2.50 (1.00 to 4.00)" ]'

# Round 0 (a warm-up) would make every ratio 10; rounds 1 and 3 disk-bound, 2 CPU-bound.
cat > "$scratch/figures" <<'FIGURES'
0 500 x86_64 kit 10 0 0
0 500 curl kit 1
0 500 tee kit 1
0 500 x86_64 offline 10 0 0
0 500 curl offline 1
1 400 x86_64 kit 2 1048576 3145728
1 400 curl kit 1
1 400 tee kit 4
1 400 x86_64 offline 1 1048576 2097152
1 400 curl offline 1
2 2500 x86_64 kit 3 1048576 2097152
2 2500 curl kit 1
2 2500 tee kit 2
2 2500 x86_64 offline 2 1048576 2097152
2 2500 curl offline 1
3 400 x86_64 kit 4 1048576 2097152
3 400 curl kit 1
3 400 tee kit 4
3 400 x86_64 offline 3 1048576 2097152
3 400 curl offline 1
FIGURES
stats -v builds=x86_64 "$scratch/figures" > "$scratch/summary"
check "the rounds' ratios without the warm-up, split into disk-bound and CPU-bound rounds" \
  eval 'has "ratio ours/curl over the rounds: median 3.00 (2.00 to 4.00)" "$scratch/summary" &&
    has "    disk-bound rounds (2): median 3.00 (2.00 to 4.00)" "$scratch/summary" &&
    has "    CPU-bound rounds (1): median 3.00 (3.00 to 3.00)" "$scratch/summary" &&
    has "ratio ours/(curl | tee | md5sum) over the rounds: median 1.00 (0.50 to 1.50) (goal <= 0.90: MISSED)" "$scratch/summary"'
check "the highest memory rise with its round, and one summary line per job for the table" \
  eval 'has "highest peak 3.0 MiB, baseline 1.0 MiB (round 1): +2.0 MiB" "$scratch/summary" &&
    [ "$(grep "^summary " "$scratch/summary")" = "$(printf "summary x86_64 kit 3.00 2.0\nsummary x86_64 offline 2.00 1.0")" ]'
