#!/usr/bin/env bash
# Runs the tests of the scripts (tests/scripts/*.test.sh), each in a process of its own;
# each case prints "ok - ..." or "FAIL - ...". Ends with "scripts: N of M passed" and
# fails unless all did. The summary test runs scripts/test.sh on the built programs, so
# after scripts/build.sh of the 32-bit target it takes seconds.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
passed=0
total=0
for test in "$here"/*.test.sh; do
  start=$SECONDS
  output="$(bash "$test" 2>&1)"
  status=$?
  echo "$output"
  ok="$(grep -c '^ok - ' <<<"$output")"
  failed="$(grep -c '^FAIL - ' <<<"$output")"
  if [ "$status" != 0 ]; then
    echo "FAIL - $(basename "$test") ended with status $status"
    failed=$((failed + 1))
  fi
  echo "$(basename "$test"): $ok of $((ok + failed)) passed ($((SECONDS - start)) s)"
  passed=$((passed + ok))
  total=$((total + ok + failed))
done
echo "scripts: $passed of $total passed"
[ "$passed" = "$total" ]
