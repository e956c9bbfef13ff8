#!/usr/bin/env bash
# scripts/build.sh DIR [cmake options...]: configures (once) and builds into DIR.
# BUILD_TARGET='name...' builds those targets instead of everything.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
jobs=${BRIMSEY_JOBS:-$(nproc)}
launcher=()
# A compiler cache makes the second and third builds of a change (and other checkouts of the
# same tree) cheap; paths are taken relative to the checkout so that they share entries.
if command -v ccache >/dev/null 2>&1; then
  cache="env;CCACHE_BASEDIR=$PWD;CCACHE_NOHASHDIR=1;ccache"
  launcher=("-DCMAKE_C_COMPILER_LAUNCHER=$cache" "-DCMAKE_CXX_COMPILER_LAUNCHER=$cache")
fi
if [ ! -f "$dir/build.ninja" ]; then
  echo "==> configuring $dir"
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" > "$dir.configure.log" 2>&1 || {
    cat "$dir.configure.log" >&2; exit 1; }
fi
read -ra targets <<< "${BUILD_TARGET:-}"
echo "==> building $dir"
cmake --build "$dir" -j "$jobs" ${targets[0]:+--target "${targets[@]}"}
