#!/usr/bin/env bash
# Builds and runs the game.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
mkdir -p build
scripts/build.sh build >/dev/null
if [ ! -x build/bin/brimsey ]; then
  echo "brimsey: the game is not built yet (build/bin/brimsey is missing)" >&2
  exit 1
fi
exec build/bin/brimsey "$@"
