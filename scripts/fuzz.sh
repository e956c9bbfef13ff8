#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build/fuzz and runs each one for
# FUZZ_SECONDS (default 20) under ASan + UBSan. Seeds come from fuzz/corpus/<target>/, a
# dictionary from fuzz/dict/<target>.dict when there is one. Targets run side by side,
# BRIMSEY_JOBS (default: the cores) at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
CC=clang CXX=clang++ BUILD_TARGET=fuzzers scripts/build.sh build/fuzz -DBRIMSEY_FUZZ=ON
seconds=${FUZZ_SECONDS:-20}
shopt -s nullglob
# FUZZ_TARGETS="fuzz_url fuzz_ad_answer" runs only those.
if [ -n "${FUZZ_TARGETS:-}" ]; then
  targets=()
  for name in $FUZZ_TARGETS; do targets+=("build/fuzz/bin/$name"); done
else
  targets=(build/fuzz/bin/fuzz_*)
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "==> no fuzz targets yet"
  exit 0
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1:suppressions=$PWD/testing/sanitizers/ubsan.supp}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/testing/sanitizers/lsan.supp}
# One target: its own corpus folder and log; the log's tail on failure.
fuzz_one() {
  local target=$1 name corpus seeds=() options=()
  name=$(basename "$target")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  [ -f "fuzz/dict/$name.dict" ] && options=("-dict=fuzz/dict/$name.dict")
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
      "${options[@]}" "$corpus" "${seeds[@]}" > "build/fuzz/$name.log" 2>&1; then
    tail -n 60 "build/fuzz/$name.log" >&2
    echo "fuzz target $name failed; full log in build/fuzz/$name.log" >&2
    return 1
  fi
  echo "==> fuzzed $name for ${seconds}s: $(grep -E '^(#[0-9]+[[:space:]]+DONE|Done)' "build/fuzz/$name.log" | tail -n 1)"
}
# Each target runs single-threaded for a fixed time: one per core at once, so the phase
# takes the time of the targets divided by the cores.
parallel=${BRIMSEY_JOBS:-$(nproc)}
echo "==> fuzzing ${#targets[@]} targets for ${seconds}s each, $parallel at a time"
failed=0
running=0
for target in "${targets[@]}"; do
  if [ "$running" -ge "$parallel" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  fuzz_one "$target" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
