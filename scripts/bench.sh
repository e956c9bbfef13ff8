#!/usr/bin/env bash
# Builds everything and runs each benchmark in turn: the programs build/bin/*_bench and the
# scripts bench/*/*_bench.sh. Every one prints, besides its own report, a line per headline
# figure ("summary<TAB>figure<TAB>value<TAB>target<TAB>ok|MISSED|-"); the run ends with
# one table of them all. Exits 1 when a benchmark failed or missed a target (after running
# the others). Arguments go to every benchmark program.
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
done

echo
echo "==> summary"
{
  printf 'benchmark\tfigure\tvalue\ttarget\tverdict\n'
  cat "$summary"
} | column -t -s $'\t'
missed=$(awk -F'\t' '$5 == "MISSED"' "$summary" | wc -l)
[ "$missed" -eq 0 ] || echo "$missed target(s) missed"
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed or missed a target: ${failed[*]}"
  exit 1
fi
