#!/usr/bin/env bash
# scripts/deb.sh [BUILD_DIR]: makes the Debian packages (brimsey, libadnet0, libadnet-dev and,
# once the build installs its typelib, gir1.2-adnet-1.0) from BUILD_DIR (default build/),
# which must be built already, into BUILD_DIR/deb/ with a .changes file beside them. The
# debian/ folder is copied to BUILD_DIR/deb/source/ and run there, so the tree stays clean.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
for f in CMakeCache.txt bin/brimsey; do
  [ -e "$build/$f" ] || { echo "deb: $build/$f is missing: build first (make build)" >&2; exit 1; }
done

# Libraries, the game's web view module (whose folder the game has compiled in) and the
# pkg-config file belong in the multiarch folder. A build folder configured before that was
# the default moves there: only the two files with a path to them recompile, the rest relinks.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ "$libdir" != "lib/$multiarch" ]; then
  echo "deb: $build installs libraries to $libdir; moving them to lib/$multiarch"
  cmake "$build" -DCMAKE_INSTALL_LIBDIR="lib/$multiarch" >/dev/null
  scripts/build.sh "$build"
fi
out=$build/deb
rm -rf "$out"
mkdir -p "$out/source"
cp -r debian "$out/source/"
cd "$out/source"
# The packages' files belong to root whoever builds them (Rules-Requires-Root: no).
export DEB_RULES_REQUIRES_ROOT=no BRIMSEY_BUILD=$build BRIMSEY_DEB_DIR=$out
# Two jobs at most, as the builds: dh_shlibdeps and dh_strip work on packages side by side.
export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=${BRIMSEY_JOBS:-2}"
debian/rules binary
version=$(dpkg-parsechangelog -SVersion)
dpkg-genchanges -b -u"$out" -O"$out/brimsey_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).changes" 2> >(grep -v "binary-only upload" >&2)
if ! grep -q '^gir1.2-adnet-1.0_' debian/files; then
  echo "deb: gir1.2-adnet-1.0 left out: the build installs no Adnet-1.0.typelib yet"
fi
echo "deb: packages in $out:"
(cd "$out" && ls -1 ./*.deb ./*.changes)
