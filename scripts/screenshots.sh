#!/usr/bin/env bash
# scripts/screenshots.sh: takes the README's pictures of the landing screens from the real
# window, on a private X server (Xvfb) with the demo ad network: the canvas page of a canvas
# ad and the embedded browser of a web ad, each a few seconds after a tap on the banner.
# Writes docs/screenshots/canvas.png and docs/screenshots/browser.png (2x: 640 x 960).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
out=docs/screenshots
for tool in Xvfb curl; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 2; }
done
BUILD_TARGET=brimsey scripts/build.sh "$build" >/dev/null
BUILD_TARGET=adnet-demo-server scripts/build.sh "$build" >/dev/null
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A 1600 x 1200 screen shows the 320 x 480 game at 2x.
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
"$build/bin/adnet-demo-server" --port 0 --port-file "$work/port" --control --quiet &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$work/display" ] && [ -s "$work/port" ] && break
  sleep 0.1
done
display=":$(cat "$work/display")"
base="http://127.0.0.1:$(cat "$work/port")"

shoot() { # AD NAME SECONDS
  curl -fsS "$base/control/pin?ad=$1" >/dev/null
  DISPLAY=$display ALSOFT_DRIVERS=null ADNET_REQUEST_ENDPOINT="$base/ad_source.php" ADNET_MEDIA_HOST="$base" \
    "$build/bin/brimsey" --run-for "$(($3 + 1))" --documents "$work/documents" --tap 2:banner \
    --snapshot "$3:$out/$2.png" >"$work/$2.log" 2>&1 || { cat "$work/$2.log" >&2; exit 1; }
  echo "screenshots: $out/$2.png"
}
shoot mels-diner canvas 10
shoot spring-sale browser 10
