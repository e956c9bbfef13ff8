#!/usr/bin/env bash
# scripts/build.sh DIR [cmake options...]: configures (once) and builds into DIR.
# BUILD_TARGET=name builds one target instead of everything.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
jobs=${BRIMSEY_JOBS:-$(nproc)}
if [ ! -f "$dir/build.ninja" ]; then
  echo "==> configuring $dir"
  cmake -S . -B "$dir" -G Ninja "$@" > "$dir.configure.log" 2>&1 || {
    cat "$dir.configure.log" >&2; exit 1; }
fi
echo "==> building $dir"
cmake --build "$dir" -j "$jobs" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
