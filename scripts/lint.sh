#!/usr/bin/env bash
# scripts/lint.sh: the checks that need no build. Exits 1 and names every offence when one
# fails:
#   - formatting: every C++ file as .clang-format wants it;
#   - layering: which folders may include what (see "Layers and folders" in the design notes);
#   - shell scripts: shellcheck, warnings and errors.
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

# -- formatting
if command -v clang-format >/dev/null 2>&1; then
  if [ "${FIX:-0}" = 1 ]; then
    clang-format -i "${cxx[@]}"
  else
    # One run over every file; each offending line is reported as "file:line:col: error: ...".
    mapfile -t unformatted < <(clang-format --dry-run -Werror "${cxx[@]}" 2>&1 |
      sed -nE 's/^([^:]+):[0-9]+:[0-9]+: error: code should be clang-formatted.*/\1/p' | sort -u)
    for f in "${unformatted[@]}"; do
      fail "$f is not formatted (run: clang-format -i $f, or FIX=1 scripts/lint.sh)"
    done
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

mapfile -t outsideBackend < <(product src include tools | grep -v '^src/platform/backend/')
rule "GTK, WebKit, GLib and D-Bus belong to src/platform/backend/" \
  'gtk/|gdk/|gsk/|glib|gio/|gobject/|webkit|jsc/|dbus|libgeoclue|geoclue|libfeedback' "${outsideBackend[@]}"

mapfile -t outsidePlatform < <(product src include tools | grep -v '^src/platform/')
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
mapfile -t adnet < <(product src/adnet include/adnet)
rule "the ad client does not know the game or its sound engine" 'app/|sound/' "${adnet[@]}"
mapfile -t sound < <(product src/sound)
rule "the sound engine does not know the game or the ad client" 'app/|adnet/|json/' "${sound[@]}"
hits=$(includes "${sound[@]}" | grep -E ':"platform/' | grep -vE ':"platform/device/AudioFile\.h"$' || true)
if [ -n "$hits" ]; then
  while IFS= read -r hit; do fail "$hit: the sound engine takes only the audio-file service from the platform"; done <<<"$hits"
fi

# -- shell scripts
if command -v shellcheck >/dev/null 2>&1; then
  mapfile -t shells < <(files '*.sh' .ci/run)
  if [ ${#shells[@]} -gt 0 ] && ! shellcheck -S warning "${shells[@]}"; then
    fail "shellcheck found problems in the scripts above"
  fi
else
  fail "shellcheck is missing (scripts/install-deps.sh installs it)"
fi

if [ $status -eq 0 ]; then
  echo "lint: ${#cxx[@]} C++ files formatted and layered as they should be; scripts clean"
fi
exit $status
