#!/usr/bin/env bash
# tests/scripts/run-test.sh headless|window SOURCE_DIR BUILD_DIR: `make run`'s script on
# this build, without installing or building (BRIMSEY_RUN_PREBUILT).
#   headless: no display; the scripted game writes its log, snapshots and caches to demo/,
#             and the demo ad network it started has stopped when the script ends.
#   window:   under Xvfb; the game comes up and asks the demo ad network for an ad; when
#             the game ends (here: terminated, as by the desktop's session ending) the
#             script ends and the server is gone too.
# Exits 77 (skipped) without Xvfb.
set -euo pipefail
mode=$1 source=$2 build=$3
export BRIMSEY_BUILD_DIR=$build BRIMSEY_RUN_PREBUILT=1 ALSOFT_DRIVERS=null
unset ADNET_REQUEST_ENDPOINT ADNET_MEDIA_HOST DISPLAY WAYLAND_DISPLAY
work=$(mktemp -d "${TMPDIR:-/tmp}/run-test.XXXXXX")
# The windowed game keeps its caches under the documents folder: a home of its own.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
mkdir -p "$HOME"
run_pid=
cleanup() {
  [ -z "$run_pid" ] || kill "$run_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "--- what the script printed:" >&2
  cat "$work/out" >&2 || true
  exit 1
}

# The port the script says its server listens on, and whether anything still answers there.
server_port() { sed -n 's|.*demo ad network on http://127.0.0.1:\([0-9]*\).*|\1|p' "$work/out" | head -n 1; }
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
check_server_gone() {
  local port
  port=$(server_port)
  [ -n "$port" ] || fail "the script started no demo ad network"
  ! listening "$port" || fail "the demo ad network still listens on port $port"
  compgen -G "$build/adnet-demo-server.*/" >/dev/null && fail "the server's scratch folder is left behind"
  return 0
}

case $mode in
headless)
  rm -rf "$build/demo" "$build/adnet-demo-server.log" # what an earlier run left must not count
  "$source/scripts/run.sh" >"$work/out" 2>&1 || fail "the script failed"
  grep -q 'no display' "$work/out" || fail "the script did not say there is no display"
  for shot in 0-start 1-shaking 2-hint 3-result 4-again 5-banner-tapped 6-banner-spinner 7-banner-flip 8-new-banner; do
    [ -s "$build/demo/$shot.png" ] || fail "no snapshot $shot.png"
  done
  grep -q 'ad received' "$build/demo/events.log" || fail "no ad arrived from the demo ad network"
  [ -d "$build/demo/documents/adnet/image_cache" ] || fail "no image cache in demo/documents"
  grep -q 'adRequest' "$build/adnet-demo-server.log" || fail "the demo ad network logged no ad request"
  check_server_gone
  ;;
window)
  command -v xvfb-run >/dev/null || { echo "xvfb-run is not installed"; exit 77; }
  rm -f "$build/adnet-demo-server.log" # a log of an earlier run must not count
  # The game under a private X server; this script stands in for the person at the screen.
  xvfb-run -a -s "-screen 0 1024x768x24" "$source/scripts/run.sh" >"$work/out" 2>&1 &
  run_pid=$!
  # Up when the game has asked the server for an ad (60 s only guards against a hang).
  for _ in $(seq 600); do
    grep -qs 'adRequest' "$build/adnet-demo-server.log" && break
    kill -0 "$run_pid" 2>/dev/null || fail "the script ended before the game asked for an ad"
    sleep 0.1
  done
  grep -qs 'adRequest' "$build/adnet-demo-server.log" || fail "the game asked the demo ad network for nothing"
  grep -q 'no display' "$work/out" && fail "the game did not open the X server's display"
  port=$(server_port)
  listening "$port" || fail "the demo ad network is not listening while the game runs"
  # The game is the brimsey process below xvfb-run (which runs the script); it ends, and
  # everything with it.
  game=
  for child in $(pgrep -P "$run_pid"); do
    for grandchild in $(pgrep -P "$child"); do
      [[ $(ps -o args= -p "$grandchild") == "$build/bin/brimsey"* ]] && game=$grandchild
    done
  done
  [ -n "$game" ] || fail "no game process found below the script"
  kill -TERM "$game"
  for _ in $(seq 300); do
    kill -0 "$run_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$run_pid" 2>/dev/null && fail "the script did not end with the game"
  run_pid=
  check_server_gone
  ;;
*)
  echo "usage: $0 headless|window SOURCE_DIR BUILD_DIR" >&2
  exit 2
  ;;
esac
echo "run.sh $mode: as expected"
