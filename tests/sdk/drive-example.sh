#!/usr/bin/env bash
# drive-example.sh OUT COMMAND...: runs an example in ADNET_EXAMPLE_SCRIPT=input mode on the
# X display it is given (xvfb-run starts one) and answers its requests with real input from
# outside the program: "click X Y" with a pointer click at that point of its window, "press
# Escape" with the key. Everything the example prints goes to OUT; its status is ours.
set -uo pipefail
out=$1
shift
ADNET_EXAMPLE_SCRIPT=input "$@" >"$out" 2>"$out.err" &
pid=$!
window=
clicked=
escaped=
for _ in $(seq 1 900); do
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    exit
  fi
  if [ -z "$clicked" ] && grep -q '^click ' "$out"; then
    read -r _ x y < <(grep -m1 '^click ' "$out")
    window=$(xdotool search --onlyvisible --name '^AdNet banner$' | head -n1)
    if [ -n "$window" ]; then
      xdotool windowfocus --sync "$window" mousemove --window "$window" "$x" "$y" click 1
      clicked=1
    fi
  fi
  if [ -n "$clicked" ] && [ -z "$escaped" ] && grep -q '^press Escape' "$out"; then
    xdotool windowfocus --sync "$window" key Escape
    escaped=1
  fi
  sleep 0.1
done
echo "drive-example: the example did not end" >>"$out.err"
kill "$pid" 2>/dev/null
exit 1
