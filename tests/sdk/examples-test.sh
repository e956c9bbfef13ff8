#!/usr/bin/env bash
# examples-test.sh SOURCE_DIR BUILD_DIR: installs the build into a scratch prefix, builds the C
# example against the installed libadnet with pkg-config alone, and runs it and the Python
# example under Xvfb against the demo ad network: a real pointer click on the banner once the
# first ad is drawn, then Escape on the landing screen (xdotool, drive-example.sh). Each must
# print the banner's signals in their order.
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
work=$build/test-sdk-examples
prefix=$work/prefix
rm -rf "$work"
mkdir -p "$work"
fail() { echo "sdk-examples: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
pc=$(find "$prefix" -name libadnet.pc | head -n1)
typelib=$(find "$prefix" -name Adnet-1.0.typelib | head -n1)
[ -n "$pc" ] || fail "libadnet.pc was not installed"
[ -n "$typelib" ] || fail "Adnet-1.0.typelib was not installed"
[ -n "$(find "$prefix" -name Adnet-1.0.gir)" ] || fail "Adnet-1.0.gir was not installed"
libdir=$(dirname "$(dirname "$pc")")

# The C example, built as a host application would build it.
PKG_CONFIG_PATH=$(dirname "$pc")
export PKG_CONFIG_PATH
# shellcheck disable=SC2046
cc -o "$work/banner" "$src/examples/c/banner.c" $(pkg-config --cflags --libs libadnet gtk4) 2>"$work/cc.log" ||
  { cat "$work/cc.log" >&2; fail "the C example did not build"; }

python=python3
"$python" -c 'import gi' 2>/dev/null || python=/usr/bin/python3

# The demo ad network on a free port, gone when this script ends.
"$build/bin/adnet-demo-server" --port 0 --port-file "$work/port" --quiet --exit-with-parent \
  >"$work/server.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || fail "the demo ad network did not start"
port=$(cat "$work/port")

run() { # name command...
  local name=$1; shift
  env -u WAYLAND_DISPLAY HOME="$work/home-$name" XDG_CACHE_HOME="$work/home-$name/cache" \
      LD_LIBRARY_PATH="$libdir" GI_TYPELIB_PATH="$(dirname "$typelib")" GSK_RENDERER=cairo \
      ADNET_REQUEST_ENDPOINT="http://127.0.0.1:$port/ad_source.php" ADNET_MEDIA_HOST="http://127.0.0.1:$port" \
      timeout 120 xvfb-run -a "$src/tests/sdk/drive-example.sh" "$work/$name.out" "$@" || {
    cat "$work/$name.out" "$work/$name.out.err" >&2; fail "the $name example failed"; }
  local said
  said=$(grep -E '^(ad-|banner |landing-)' "$work/$name.out" | paste -sd'|')
  # The kind of landing screen depends on the test ad served; both notices name the same.
  [[ $said =~ ^ad-received\|banner\ drawn\|landing-will-present\ (canvas|web)\|landing-did-dismiss\ (canvas|web)$ ]] &&
    [ "${BASH_REMATCH[1]}" = "${BASH_REMATCH[2]}" ] || {
    cat "$work/$name.out" "$work/$name.out.err" >&2; fail "the $name example said: $said"; }
  echo "sdk-examples: $name: $said"
}
mkdir -p "$work/home-c" "$work/home-python"
run c "$work/banner"
run python "$python" "$src/examples/python/banner.py"
