#!/usr/bin/env bash
# Builds and runs the game: in a window when there is a display, otherwise a short
# scripted game played headlessly, with its event log and snapshots under build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
mkdir -p build
scripts/build.sh build >/dev/null
if [ ! -x build/bin/brimsey ]; then
  echo "brimsey: the game is not built yet (build/bin/brimsey is missing)" >&2
  exit 1
fi

# The windowed game exits with this status when it cannot open the display it was given.
no_display_status=69

demo() {
  local out=build/demo
  rm -rf "$out"
  mkdir -p "$out"
  # A player who taps start at 1 s, shakes hard for three seconds, rests long enough for
  # the keep-shaking hint, shakes again, and taps the result to play once more.
  awk 'BEGIN {
         pi = 3.14159265358979
         # A hard shake: the phone swings 4 g left and right from one sample to the next.
         print "0 0 0 -1"
         for (k = 1; k * 0.04 <= 16; k++) {
           t = k * 0.04
           if ((t >= 1.5 && t < 4.5) || (t >= 6.5 && t < 9.5))
             printf "%.2f %.1f %.3f -1\n", t, (k % 2 ? 4 : -4), 0.5 * sin(2 * pi * 3 * t)
           else
             printf "%.2f 0 0 -1\n", t
         }
       }' > "$out/shake.accel"
  build/bin/brimsey --headless --run-for 16 \
    --accel "$out/shake.accel" \
    --tap 1:butstart \
    --tap 13:butd1 --tap 13:butd2 --tap 13:butd3 --tap 13:butd4 \
    --events "$out/events.log" \
    --snapshot 0.95:"$out/0-start.png" \
    --snapshot 3:"$out/1-shaking.png" \
    --snapshot 6.3:"$out/2-hint.png" \
    --snapshot 12.5:"$out/3-result.png" \
    --snapshot 14:"$out/4-again.png"
  echo "brimsey: the scripted game is done:"
  echo "  event log:  $out/events.log"
  echo "  snapshots:  $out/0-start.png .. $out/4-again.png"
  echo "  shaking:    $out/shake.accel (t x y z per line, in g)"
}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "brimsey: no display (neither DISPLAY nor WAYLAND_DISPLAY is set);" \
       "playing a short scripted game headlessly instead"
  demo
  exit 0
fi

status=0
build/bin/brimsey "$@" || status=$?
if [ "$status" -eq "$no_display_status" ]; then
  echo "brimsey: playing a short scripted game headlessly instead"
  demo
  exit 0
fi
exit "$status"
