#!/usr/bin/env bash
# check-install.sh BUILD_DIR [LIBDIR]: installs the build into a scratch prefix, then uses what was
# installed as a user and a host application would: the game headless, the desktop entry
# and icon, and libadnet through pkg-config for a program built outside the tree.
set -euo pipefail
build=$(cd "$1" && pwd)
prefix=$build/test-install
libdir=${2:-lib}
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/brimsey bin/adnet-demo-server $libdir/brimsey/libbrimsey-webkit.so share/brimsey/MainWindow.json \
         share/brimsey/adnet/ads \
         share/applications/net.brimsey.Brimsey.desktop \
         share/icons/hicolor/scalable/apps/net.brimsey.Brimsey.svg \
         include/libadnet/adnet/AdNetView.h include/libadnet/platform/ui/View.h $libdir/pkgconfig/libadnet.pc \
         share/locale/de/LC_MESSAGES/libadnet.mo; do
  [ -e "$prefix/$f" ] || { echo "check-install: $f was not installed" >&2; exit 1; }
done

# The installed game finds its resources beside its bin/ folder, wherever the source tree is.
out=$(cd / && env -u BRIMSEY_RESOURCES ALSOFT_DRIVERS=null "$prefix/bin/brimsey" --headless --run-for 2 \
      --tap 0.5:butstart --events -)
grep -q ' effect countdown$' <<<"$out" || { echo "check-install: the installed game did not play:" >&2
  echo "$out" >&2; exit 1; }

# A host built against the installed library only.
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
host=$build/test-install-host
# shellcheck disable=SC2046
c++ -o "$host" "$(dirname "$0")/HostProgram.cpp" $(pkg-config --cflags --libs libadnet) \
    -Wl,-rpath,"$prefix/$libdir"
result=$(ADNET_REQUEST_ENDPOINT=http://127.0.0.1:1/ad_source.php "$host")
[ "$result" = "banner 320x48 at 0,0; first ad failed" ] || {
  echo "check-install: the host program said: $result" >&2; exit 1; }
echo "check-install: installed tree works (game, desktop entry, icon, libadnet for hosts)"
