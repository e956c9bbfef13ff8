#!/usr/bin/env bash
# Regenerates every game resource made by a script: the nine pictures (1x and 2x) and the
# seven sounds, into DIR (default: resources/). The interface description is written by hand.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/pictures.sh" "$@"
"$here/sounds.sh" "$@"
