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
         include/libadnet/adnet/AdNetView.h include/libadnet/adnet/AdNetVersion.h $libdir/pkgconfig/libadnet.pc \
         share/locale/de/LC_MESSAGES/libadnet.mo; do
  [ -e "$prefix/$f" ] || { echo "check-install: $f was not installed" >&2; exit 1; }
done

# The installed game finds its resources beside its bin/ folder, wherever the source tree is.
out=$(cd / && env -u BRIMSEY_RESOURCES ALSOFT_DRIVERS=null "$prefix/bin/brimsey" --headless --run-for 2 \
      --tap 0.5:butstart --events -)
grep -q ' effect countdown$' <<<"$out" || { echo "check-install: the installed game did not play:" >&2
  echo "$out" >&2; exit 1; }

# libadnet shows hosts the ad client only: its headers, its symbols, its SONAME.
fail() { echo "check-install: $*" >&2; exit 1; }
inc=$prefix/include/libadnet
[ ! -e "$inc/platform" ] && [ ! -e "$inc/json" ] || fail "platform or JSON headers were installed"
if grep -rnE '#[[:space:]]*include[[:space:]]*[<"](platform|json)/' "$inc"; then
  fail "an installed header includes the platform layer or the JSON reader"
fi
lib=$prefix/$libdir/libadnet.so
leaked=$(nm -DC --defined-only "$lib" | cut -d' ' -f3- |
         grep -E '^((vtable|typeinfo|typeinfo name|VTT|guard variable) for )?(platform|json|std|adnet::gtk)::' || true)
[ -z "$leaked" ] || fail "libadnet.so exports what is not the ad client's:
$(head -20 <<<"$leaked")"
soname=$(objdump -p "$lib" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = libadnet.so.0 ] || fail "SONAME is '$soname', not libadnet.so.0"
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
cflags=$(pkg-config --cflags libadnet)
[[ $cflags != *-std=* ]] || fail "pkg-config's Cflags name a C++ standard, but C hosts use them too: $cflags"

# A host built against the installed library only (C++ hosts bring their own -std=c++20).
host=$build/test-install-host
# shellcheck disable=SC2046
c++ -std=c++20 -Wall -Wextra -Werror -o "$host" "$(dirname "$0")/HostProgram.cpp" \
    $(pkg-config --cflags --libs libadnet) -Wl,-rpath,"$prefix/$libdir"
result=$(ADNET_REQUEST_ENDPOINT=http://127.0.0.1:1/ad_source.php "$host")
version=$(sed -n 's/^#define ADNET_VERSION_STRING "\(.*\)"$/\1/p' "$inc/adnet/AdNetVersion.h")
expected="version $version; host ok at 48.2,16.37; endpoint http://127.0.0.1:1/ad_source.php; events 1; front door ok"
[ "$result" = "$expected" ] || fail "the host program said: $result"
echo "check-install: installed tree works (game, desktop entry, icon, libadnet for hosts)"
