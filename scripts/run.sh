#!/usr/bin/env bash
# Builds and runs the game with ads from the demo ad network: in a window when there is a
# display, otherwise a short scripted game played headlessly, with its event log and
# snapshots under build/demo/.
#
# Unless ADNET_REQUEST_ENDPOINT is set, the demo ad network (build/bin/adnet-demo-server)
# is started on 127.0.0.1 at a free port for the game and stopped when the game ends.
#
# For the tests of this script: BRIMSEY_BUILD_DIR names another build folder (the programs
# come from it, the demo and the server's log go to it), and BRIMSEY_RUN_PREBUILT=1 runs
# what is built there without installing packages or building.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BRIMSEY_BUILD_DIR:-build}
if [ "${BRIMSEY_RUN_PREBUILT:-0}" != 1 ]; then
  scripts/install-deps.sh
  mkdir -p "$build"
  scripts/build.sh "$build" >/dev/null
fi
if [ ! -x "$build/bin/brimsey" ]; then
  echo "brimsey: the game is not built yet ($build/bin/brimsey is missing)" >&2
  exit 1
fi

# The windowed game exits with this status when it cannot open the display it was given.
no_display_status=69

server_pid=
server_dir=
stop_demo_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=
  fi
  [ -n "$server_dir" ] && rm -rf "$server_dir"
  server_dir=
}
trap stop_demo_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Starts the demo ad network at a port the system picks (so a busy 8642 does not matter)
# and points the game at it. Without it the game simply shows no banner.
start_demo_server() {
  if [ -n "${ADNET_REQUEST_ENDPOINT:-}" ]; then
    echo "brimsey: ads from ADNET_REQUEST_ENDPOINT=$ADNET_REQUEST_ENDPOINT"
    return 0
  fi
  if [ ! -x "$build/bin/adnet-demo-server" ]; then
    echo "brimsey: $build/bin/adnet-demo-server is missing; playing without ads" >&2
    return 0
  fi
  server_dir=$(mktemp -d "$build/adnet-demo-server.XXXXXX")
  local log=$build/adnet-demo-server.log
  "$build/bin/adnet-demo-server" --port 0 --port-file "$server_dir/port" --exit-with-parent >"$log" 2>&1 &
  server_pid=$!
  local port=
  for _ in $(seq 100); do
    if [ -s "$server_dir/port" ]; then
      port=$(cat "$server_dir/port")
      break
    fi
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$port" ]; then
    echo "brimsey: the demo ad network did not start (see $log); playing without ads" >&2
    stop_demo_server
    return 0
  fi
  export ADNET_REQUEST_ENDPOINT="http://127.0.0.1:$port/ad_source.php"
  export ADNET_MEDIA_HOST="${ADNET_MEDIA_HOST:-http://127.0.0.1:$port}"
  echo "brimsey: demo ad network on http://127.0.0.1:$port (requests logged in $log)"
}

demo() {
  local out=$build/demo
  rm -rf "$out"
  mkdir -p "$out"
  # A player who taps start at 1 s, shakes hard for three seconds, rests long enough for
  # the keep-shaking hint, shakes again, and taps the result to play once more; and taps
  # the ad banner at 15 s and, at 18 s, the Done button of the web page it opened. The run
  # lasts past the banner's first flip to a new ad (60 s after the first one arrived).
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
  "$build/bin/brimsey" --headless --ads --run-for 62 \
    --documents "$out/documents" \
    --accel "$out/shake.accel" \
    --tap 1:butstart \
    --tap 13:butd1 --tap 13:butd2 --tap 13:butd3 --tap 13:butd4 \
    --tap 15:banner --tap 18:done \
    --events "$out/events.log" \
    --snapshot 0.95:"$out/0-start.png" \
    --snapshot 3:"$out/1-shaking.png" \
    --snapshot 6.3:"$out/2-hint.png" \
    --snapshot 12.5:"$out/3-result.png" \
    --snapshot 14:"$out/4-again.png" \
    --snapshot 15.1:"$out/5-banner-tapped.png" \
    --snapshot 15.9:"$out/6-banner-spinner.png" \
    --snapshot 60.2:"$out/7-banner-flip.png" \
    --snapshot 62:"$out/8-new-banner.png"
  echo "brimsey: the scripted game is done:"
  echo "  event log:  $out/events.log"
  echo "  snapshots:  $out/0-start.png .. $out/8-new-banner.png"
  echo "  shaking:    $out/shake.accel (t x y z per line, in g)"
}

start_demo_server

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "brimsey: no display (neither DISPLAY nor WAYLAND_DISPLAY is set);" \
       "playing a short scripted game headlessly instead"
  demo
  exit 0
fi

status=0
"$build/bin/brimsey" "$@" || status=$?
if [ "$status" -eq "$no_display_status" ]; then
  echo "brimsey: playing a short scripted game headlessly instead"
  demo
  exit 0
fi
exit "$status"
