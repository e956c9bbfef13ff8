#!/usr/bin/env bash
# tests/scripts/ctest-gate-test.sh SOURCE_DIR: scripts/ctest-gate.sh on made-up ctest logs:
# skips allowed by any entry of a two-entry list (not only the last), an unlisted skip,
# a name that only begins like an allowed one, and test counts against the floors.
set -euo pipefail
gate=$1/scripts/ctest-gate.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/ctest-gate.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
# expect STATUS WHAT LOG [ARGS...]: runs the gate on LOG and checks its exit status.
expect() {
  local want=$1 what=$2 log=$3 got=0
  shift 3
  "$gate" build "$log" "$@" >"$work/out" 2>&1 || got=$?
  if [ "$got" -ne "$want" ]; then
    echo "FAIL: $what: exit status $got, expected $want; the gate said:" >&2
    sed 's/^/  /' "$work/out" >&2
    failures=$((failures + 1))
  fi
}
# log FILE TOTAL SKIPPED...: a ctest log of TOTAL tests in which SKIPPED were skipped.
log() {
  local file=$1 total=$2 i=1
  shift 2
  : >"$file"
  for name in "$@"; do
    printf '%2d/%d Test #%d: %s ....................   ***Skipped   0.01 sec\n' \
      "$i" "$total" "$i" "$name" >>"$file"
    i=$((i + 1))
  done
  printf '\n100%% tests passed, 0 tests failed out of %d\n' "$total" >>"$file"
}

cat >"$work/allowed" <<'LIST'
# name pattern, then the reason
Json\.Huge.*      # needs more memory than CI machines have
Sound\.NoDevice   # needs a machine without a sound card
LIST
printf '# folder, least number of tests\nbuild 10\nbuild/tsan 3\n' >"$work/floors"
export BRIMSEY_ALLOWED_SKIPS=$work/allowed BRIMSEY_TEST_FLOORS=$work/floors

log "$work/first" 10 Json.HugeArray
expect 0 "a skip allowed by the first of two entries" "$work/first"
log "$work/both" 12 Sound.NoDevice Json.HugeString
expect 0 "skips allowed by either entry" "$work/both"
log "$work/other" 10 Json.HugeArray Net.Offline
expect 1 "a skip the list does not name" "$work/other"
grep -q '^  Net.Offline$' "$work/out" || {
  echo "FAIL: the unlisted skip is not named" >&2
  failures=$((failures + 1))
}
log "$work/longer" 10 Sound.NoDeviceAtAll
expect 1 "a name that only begins like an allowed one" "$work/longer"
log "$work/few" 9
expect 1 "fewer tests than the floor" "$work/few"
expect 0 "fewer tests, but only a subset ran" "$work/few" --no-floor
: >"$work/none"
expect 1 "no tests at all" "$work/none"
log "$work/unknown" 50
"$gate" build/unknown "$work/unknown" >/dev/null 2>&1 && {
  echo "FAIL: a folder without a floor passed" >&2
  failures=$((failures + 1))
}
[ "$failures" -eq 0 ] && echo "ctest gate: every case as expected"
exit $((failures > 0))
