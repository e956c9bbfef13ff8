#!/usr/bin/env bash
# tests/scripts/bench-verdict-test.sh SOURCE_DIR: scripts/bench.sh's verdict, in a scratch
# tree whose install and build steps do nothing and whose "benchmarks" print made-up
# summaries: a missed target fails the run even when the benchmark exits 0, and so does a
# figure that could not be measured or a case stopped with an error; met targets and plain
# figures pass.
set -euo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-verdict.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scripts" "$work/build/bin"
cp "$1/scripts/bench.sh" "$work/scripts/"
printf '#!/bin/sh\n' >"$work/scripts/install-deps.sh"
printf '#!/bin/sh\n' >"$work/scripts/build.sh"
chmod +x "$work/scripts/"*.sh
# bench NAME LINE: a benchmark that prints LINE and exits 0.
bench() {
  printf '#!/bin/sh\nprintf "%%s\\n" "%s"\n' "$2" >"$work/build/bin/$1_bench"
  chmod +x "$work/build/bin/$1_bench"
}
tab=$'\t'
bench a "summary${tab}fast${tab}0.5x${tab}<= 1x${tab}ok"
failures=0
# expect STATUS WHAT LINE: the second benchmark prints LINE; the run must exit with STATUS.
expect() {
  local got=0
  bench b "$3"
  "$work/scripts/bench.sh" >"$work/out" 2>&1 || got=$?
  if [ "$got" -ne "$1" ]; then
    echo "FAIL: $2: exit status $got, expected $1" >&2
    sed 's/^/  /' "$work/out" >&2
    failures=$((failures + 1))
  fi
}
expect 0 "a met target and a plain figure" "summary${tab}size${tab}12 kB${tab}-${tab}-"
expect 1 "a missed target" "summary${tab}slow${tab}3.0x${tab}<= 1x${tab}MISSED"
expect 1 "a figure not measured" "summary${tab}corpus${tab}skipped (no corpus)${tab}-${tab}-"
expect 1 "a case stopped with an error" "BM_Load/cold  ERROR OCCURRED: 'the ad failed'"
[ "$failures" -eq 0 ] && echo "bench verdict: every case as expected"
exit $((failures > 0))
