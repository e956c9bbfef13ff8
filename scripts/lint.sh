#!/usr/bin/env bash
# scripts/lint.sh: the checks that need no build. Exits 1 and names every offence when one
# fails:
#   - text files: no merge-conflict markers, no trailing whitespace;
#   - formatting: every C++ file as .clang-format wants it (and clang-format itself ran well);
#   - layering: which folders may include what (see "Layers and folders" in the design notes),
#     the platform's sub-layers among themselves, and where each library's headers may go;
#   - shell scripts: shellcheck, warnings and errors;
#   - the desktop entry and the AppStream metainfo, as menus and software centres read them.
# FIX=1 rewrites badly formatted files instead of reporting them.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2

status=0
fail() {
  echo "lint: $*" >&2
  status=1
}

# Files not yet added count too: a new file is checked before its first commit.
files() { git ls-files --cached --others --exclude-standard -- "$@"; }
mapfile -t cxx < <(files '*.cpp' '*.h' '*.hpp' '*.cc')

# -- text files: conflict markers left by a merge, trailing whitespace. Binary files (git's
# own test: a NUL byte) and the fuzz and benchmark corpora, whose bytes are data, are skipped.
textfiles=(-- . ':!fuzz/corpus/' ':!bench/data/')
hits=$(git grep -I --untracked -nE '^(<<<<<<<|>>>>>>>|\|\|\|\|\|\|\|)( |$)|^=======$' "${textfiles[@]}" || true)
if [ -n "$hits" ]; then
  while IFS= read -r hit; do fail "$hit: merge-conflict marker"; done <<<"$hits"
fi
hits=$(git grep -I --untracked -nE '[[:space:]]$' "${textfiles[@]}" | cut -d: -f1,2 || true)
if [ -n "$hits" ]; then
  while IFS= read -r hit; do fail "$hit: trailing whitespace"; done <<<"$hits"
fi

# -- formatting
if command -v clang-format >/dev/null 2>&1; then
  if [ "${FIX:-0}" = 1 ]; then
    clang-format -i "${cxx[@]}"
  else
    # One run over every file; each offending line is reported as "file:line:col: error: ...".
    # It exits 1 for those alone; any other status, or an error of another kind (a bad
    # .clang-format, a crash), means the files were not all checked.
    format_status=0
    format_out=$(clang-format --dry-run -Werror "${cxx[@]}" 2>&1) || format_status=$?
    violation='^[^:]+:[0-9]+:[0-9]+: error: code should be clang-formatted'
    mapfile -t unformatted < <(sed -nE "s/($violation).*/\1/p" <<<"$format_out" | cut -d: -f1 | sort -u)
    for f in "${unformatted[@]}"; do
      fail "$f is not formatted (run: clang-format -i $f, or FIX=1 scripts/lint.sh)"
    done
    other=$(grep -E '^(error|Error)|: error: |Stack dump|PLEASE submit' <<<"$format_out" |
      grep -vE "$violation" || true)
    if [ "$format_status" -ne 0 ] && { [ "$format_status" -ne 1 ] || [ ${#unformatted[@]} -eq 0 ] || [ -n "$other" ]; }; then
      printf '%s\n' "$format_out" | grep -vE "$violation" | head -n 20 >&2
      fail "clang-format failed (status $format_status), so formatting was not checked"
    fi
  fi
else
  fail "clang-format is missing (scripts/install-deps.sh installs it)"
fi

# -- layering, on product code (src, include, tools). Tests, benchmarks and fuzz targets
# sit on the layer they exercise and may include what it includes.
# includes FILE...: prints "file:line:target" for every #include in the files.
includes() {
  grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$@" 2>/dev/null |
    sed -E 's/^([^:]*):([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*([<"][^>"]*[>"]).*/\1:\2:\3/'
}
# rule DESCRIPTION PATTERN FILE...: every include of the files matching PATTERN is an offence.
rule() {
  local what=$1 pattern=$2
  shift 2
  [ $# -gt 0 ] || return 0
  local hits
  hits=$(includes "$@" | grep -E ":[<\"]($pattern)" || true)
  if [ -n "$hits" ]; then
    while IFS= read -r hit; do fail "$hit: $what"; done <<<"$hits"
  fi
}
product() { files "$@" | grep -E '\.(cpp|h|hpp|cc)$'; }

# The banner widget (src/adnet-gtk and its C headers include/adnet/adnet-*.h) is the ad
# client's GTK face: it may include GTK and cairo, and start the desktop backend's services.
gtkFace='^(src/adnet-gtk/|include/adnet/adnet-)'
mapfile -t outsideBackend < <(product src include tools | grep -v '^src/platform/backend/' | grep -vE "$gtkFace")
rule "GTK, WebKit, GLib and D-Bus belong to src/platform/backend/ and the banner widget" \
  'gtk/|gdk/|gsk/|glib|gio/|gobject/|webkit|jsc/|dbus|libgeoclue|geoclue|libfeedback' "${outsideBackend[@]}"

mapfile -t outsidePlatform < <(product src include tools | grep -v '^src/platform/' | grep -vE "$gtkFace")
rule "curl, cairo and pango belong to src/platform/" 'curl/|cairo|pango' "${outsidePlatform[@]}"

mapfile -t json < <(product src/json)
# The standard library's headers have no extension and no folder; the compiler's vector
# intrinsics are no library either.
hits=$(includes "${json[@]}" | grep -vE ':<[a-z_]+>$' | grep -vE ':<[a-z0-9]+intrin\.h>$' | grep -vE ':"json/[A-Za-z]+\.h"$' || true)
if [ -n "$hits" ]; then
  while IFS= read -r hit; do fail "$hit: the JSON reader uses the standard library only"; done <<<"$hits"
fi

mapfile -t platform < <(product src/platform)
rule "the platform layer is below the ad client, the sound engine and the game" 'adnet/|app/|sound/' \
  "${platform[@]}"
mapfile -t adnet < <(product src/adnet src/adnet-gtk include/adnet)
rule "the ad client does not know the game or its sound engine" 'app/|sound/' "${adnet[@]}"
mapfile -t adnetPublic < <(product include/adnet)
rule "libadnet's installed headers show hosts no platform or JSON type" 'platform/|json/' "${adnetPublic[@]}"
mapfile -t sound < <(product src/sound)
rule "the sound engine does not know the game or the ad client" 'app/|adnet/|json/' "${sound[@]}"
hits=$(includes "${sound[@]}" | grep -E ':"platform/' | grep -vE ':"platform/device/AudioFile\.h"$' || true)
if [ -n "$hits" ]; then
  while IFS= read -r hit; do fail "$hit: the sound engine takes only the audio-file service from the platform"; done <<<"$hits"
fi

# The platform's sub-layers: core is below everything; gfx, net and device stand on core
# alone; ui draws with gfx and uses device services. backend/ starts the platform on a
# desktop or headless, so only the game's entry points (src/app) reach into it, and the
# headless backend builds without GTK.
sub() { product "src/platform/$1"; }
mapfile -t core < <(sub core)
rule "platform/core is the lowest sub-layer and includes no other" \
  'platform/(gfx|net|device|ui|backend)/' "${core[@]}"
for layer in gfx net device; do
  mapfile -t files_of_layer < <(sub $layer)
  others=$(printf '%s\n' gfx net device ui backend | grep -vx $layer | paste -sd'|')
  rule "platform/$layer stands on platform/core only" "platform/($others)/" "${files_of_layer[@]}"
done
mapfile -t ui < <(sub ui)
rule "platform/ui stands on core, gfx and device; the network is the ad client's business" \
  'platform/(net|backend)/' "${ui[@]}"
mapfile -t headless < <(sub backend/headless)
rule "the headless backend builds without GTK" 'platform/backend/gtk/' "${headless[@]}"
mapfile -t beyondBackend < <(product src include tools | grep -vE '^src/(platform/backend|app|adnet-gtk)/')
rule "only the game's entry points (src/app) and the banner widget start a backend" '(platform/)?backend/' "${beyondBackend[@]}"

# Library headers, each behind the one place that wraps it.
# allowed DESCRIPTION PATTERN PATHS-REGEX: product files outside PATHS-REGEX must not include
# headers matching PATTERN.
allowed() {
  local files_elsewhere=()
  mapfile -t files_elsewhere < <(product src include tools | grep -vE "$3")
  rule "$1" "$2" "${files_elsewhere[@]}"
}
allowed "libpng, libjpeg and giflib are read by platform/gfx (Image)" \
  'png\.h|pngconf\.h|jpeglib\.h|jerror\.h|jconfig\.h|gif_lib\.h' '^src/platform/gfx/'
allowed "libsndfile is read by platform/device (the audio-file service)" 'sndfile' \
  '^src/platform/device/'
allowed "OpenAL belongs to the sound engine, the desktop backend's sound output and the engine's demo" \
  'AL/' '^(src/sound|src/platform/backend/gtk|tools/sound-engine-demo)/'
allowed "cpp-httplib serves the demo ad network only" 'httplib' '^tools/adnet-demo-server/'
allowed "X11 belongs to the GTK desktop backend" 'X11/' '^src/platform/backend/gtk/'

# -- shell scripts
if command -v shellcheck >/dev/null 2>&1; then
  mapfile -t shells < <(files '*.sh' .ci/run)
  if [ ${#shells[@]} -gt 0 ] && ! shellcheck -S warning "${shells[@]}"; then
    fail "shellcheck found problems in the scripts above"
  fi
else
  fail "shellcheck is missing (scripts/install-deps.sh installs it)"
fi

# -- desktop entry and AppStream metainfo: errors fail, warnings are shown
mapfile -t desktop < <(files '*.desktop')
if command -v desktop-file-validate >/dev/null 2>&1; then
  for f in "${desktop[@]}"; do
    desktop-file-validate "$f" || fail "$f: desktop-file-validate found errors"
  done
else
  fail "desktop-file-validate is missing (scripts/install-deps.sh installs it)"
fi
mapfile -t metainfo < <(files '*.metainfo.xml')
if command -v appstreamcli >/dev/null 2>&1; then
  for f in "${metainfo[@]}"; do
    # --no-net: no URL is fetched, so the check needs no network and cannot flake.
    appstreamcli validate --no-net --explain "$f" >/dev/null 2>&1 ||
      { appstreamcli validate --no-net --explain "$f" >&2; fail "$f: appstreamcli validate found errors"; }
  done
else
  fail "appstreamcli is missing (scripts/install-deps.sh installs it)"
fi

if [ $status -eq 0 ]; then
  echo "lint: ${#cxx[@]} C++ files formatted and layered as they should be; scripts, desktop entry and metainfo clean"
fi
exit $status
