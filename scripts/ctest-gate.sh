#!/usr/bin/env bash
# scripts/ctest-gate.sh DIR LOG [--no-floor]: judges a ctest run in the build folder DIR
# whose output is in LOG, after every test passed. Fails when
#   - a test was skipped that testing/allowed-skips.txt does not name (everything the tests
#     need is installed by `make test`, so a skip hides a fault);
#   - fewer tests ran than the floor for DIR in testing/test-count-floors.txt, which is how
#     a test program that silently stopped being built shows. --no-floor skips this when
#     only a subset ran (CTEST_ARGS).
# BRIMSEY_ALLOWED_SKIPS and BRIMSEY_TEST_FLOORS name other lists (the gate's own test).
set -euo pipefail
dir=$1 log=$2 floor=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)
allowed=${BRIMSEY_ALLOWED_SKIPS:-$here/testing/allowed-skips.txt}
floors=${BRIMSEY_TEST_FLOORS:-$here/testing/test-count-floors.txt}
status=0

# The patterns of the allowed list: the first word of each line, comments dropped.
mapfile -t patterns < <(sed -e 's/#.*//' "$allowed" | awk 'NF { print $1 }')
mapfile -t skipped < <(sed -n 's/.*Test *#[0-9]*: \([^ ]*\) .*\*\*\*Skipped.*/\1/p' "$log")
unexplained=()
for name in "${skipped[@]}"; do
  allowed_here=0
  for p in "${patterns[@]}"; do
    if [[ $name =~ ^($p)$ ]]; then
      allowed_here=1
      break
    fi
  done
  [ $allowed_here -eq 1 ] || unexplained+=("$name")
done
if [ ${#unexplained[@]} -gt 0 ]; then
  echo "These tests were skipped although everything they need is installed:" >&2
  printf '  %s\n' "${unexplained[@]}" >&2
  echo "Mend what they lack, or name them in $allowed with a reason." >&2
  status=1
fi

if [ "$floor" != --no-floor ]; then
  # ctest ends with "NN% tests passed, F tests failed out of N"; no line means no tests.
  count=$(sed -n 's/.*tests passed, [0-9]* tests* failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  count=${count:-0}
  least=$(sed -e 's/#.*//' "$floors" | awk -v dir="$dir" '$1 == dir { print $2 }' | tail -n 1)
  if [ -z "$least" ]; then
    echo "$floors has no floor for $dir ($count tests ran): add a line \"$dir $count\"" >&2
    status=1
  elif [ "$count" -lt "$least" ]; then
    echo "$dir ran $count tests, fewer than its floor of $least ($floors):" \
      "has a test program stopped being built?" >&2
    status=1
  else
    echo "$dir: $count tests ran (floor $least)"
  fi
fi
exit $status
