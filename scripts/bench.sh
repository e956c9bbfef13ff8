#!/usr/bin/env bash
# Builds everything and runs each benchmark in turn: the programs build/bin/*_bench and the
# scripts bench/*/*_bench.sh. Every one prints, besides its own report, a line per headline
# figure ("summary<TAB>figure<TAB>value<TAB>target<TAB>ok|MISSED|-"); the run ends with
# one table of them all. Exits 1 (after running the others) when a benchmark failed, missed
# a target, or skipped something: a figure it could not measure ("skipped (why)") or a
# benchmark case stopped with an error (Google Benchmark's "ERROR OCCURRED"), since `make
# bench` installs everything the benchmarks need. Arguments go to every benchmark program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
mkdir -p build
scripts/build.sh build
shopt -s nullglob
benches=(build/bin/*_bench bench/*/*_bench.sh)
[ ${#benches[@]} -eq 0 ] && { echo "no benchmarks built yet"; exit 0; }
logs=build/bench-logs
mkdir -p "$logs"
summary=build/bench-summary.tsv
: > "$summary"
failed=()
skipped=()
for b in "${benches[@]}"; do
  name=$(basename "$b")
  echo "==> $name"
  args=("$@")
  [[ $b == *.sh ]] && args=()
  # The report goes to the terminal as it comes and to a log, whose summary lines are kept.
  if ! "$b" "${args[@]}" | tee "$logs/$name.log"; then
    failed+=("$name")
  fi
  grep -a $'^summary\t' "$logs/$name.log" | cut -f2- | sed "s/^/$name\t/" >> "$summary" || true
  if grep -aq 'ERROR OCCURRED' "$logs/$name.log"; then
    echo "$name: a benchmark case stopped with an error:" >&2
    grep -a 'ERROR OCCURRED' "$logs/$name.log" | sed 's/^/  /' >&2
    skipped+=("$name")
  fi
done

echo
echo "==> summary"
{
  printf 'benchmark\tfigure\tvalue\ttarget\tverdict\n'
  cat "$summary"
} | column -t -s $'\t'
# Judged from the table as well as from the exit statuses: a benchmark that forgot its
# exitStatus() still fails the run for a missed target.
mapfile -t missed < <(awk -F'\t' '$5 == "MISSED" { print $1 }' "$summary" | sort -u)
mapfile -t unmeasured < <(awk -F'\t' '$3 ~ /^skipped/ { print $1 }' "$summary" | sort -u)
status=0
if [ ${#missed[@]} -gt 0 ]; then
  echo "$(awk -F'\t' '$5 == "MISSED"' "$summary" | wc -l) target(s) missed: ${missed[*]}"
  status=1
fi
if [ ${#unmeasured[@]} -gt 0 ] || [ ${#skipped[@]} -gt 0 ]; then
  echo "figures not measured: $(printf '%s\n' "${unmeasured[@]}" "${skipped[@]}" | sed '/^$/d' | sort -u | paste -sd' ')"
  status=1
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  status=1
fi
exit $status
