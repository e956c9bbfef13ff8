#!/usr/bin/env bash
# Builds everything and runs each benchmark program (build/bin/*_bench) in turn.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
mkdir -p build
scripts/build.sh build
shopt -s nullglob
benches=(build/bin/*_bench)
[ ${#benches[@]} -eq 0 ] && { echo "no benchmarks built yet"; exit 0; }
for b in "${benches[@]}"; do
  echo "==> $(basename "$b")"
  "$b" "$@"
done
