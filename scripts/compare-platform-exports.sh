#!/usr/bin/env bash
# Exports the built-in sample and the generated one-million-triangle drawing with the Linux build
# and with the Windows build under Wine, and checks that the two platforms write the same COLLADA
# bytes (all but the creation time) and texture images of the same pixels.
#   scripts/compare-platform-exports.sh LINUX_BUILD WINDOWS_BUILD
# Needs the Wine server of scripts/wine-prefix.sh running.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: scripts/compare-platform-exports.sh LINUX_BUILD WINDOWS_BUILD" >&2; exit 2; }
here="$(cd "$(dirname "$0")" && pwd)"
linux_host="$(cd "$1" && pwd)/bin/tidelink-host"
windows_host="$(cd "$2" && pwd)/bin/tidelink-host.exe"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/linux" "$work/windows"

# The file as written, less the creation time (which spans two lines: the text ends in a newline).
without_creation_time() {
  sed '/<created>/,/<\/created>/d' "$1"
}

same_pixels() {
  local differing
  differing=$(/usr/bin/compare -metric AE "$1" "$2" null: 2>&1) || true
  [ "$differing" = "0" ]
}

export_both() {  # name, host arguments...
  local name="$1"; shift
  "$linux_host" export "$@" -o "$work/linux/$name.dae" >"$work/linux/$name.log" 2>&1 \
    || { echo "linux export of $name failed:"; cat "$work/linux/$name.log"; return 1; }
  local target
  target="$("$here/wine-run.sh" winepath -w "$work/windows/$name.dae" 2>/dev/null | tr -d '\r')"
  "$here/wine-run.sh" "$windows_host" export "$@" -o "$target" >"$work/windows/$name.log" 2>&1 \
    || { echo "windows export of $name failed:"; cat "$work/windows/$name.log"; return 1; }
}

compare_exports() {  # name
  local name="$1" failures=0
  if cmp -s <(without_creation_time "$work/linux/$name.dae") <(without_creation_time "$work/windows/$name.dae"); then
    echo "  $name.dae: the same $(stat -c %s "$work/linux/$name.dae") bytes but the creation time"
  else
    echo "  $name.dae: the platforms differ:"
    cmp <(without_creation_time "$work/linux/$name.dae") <(without_creation_time "$work/windows/$name.dae") | head -3 || true
    failures=1
  fi
  local linux_textures="$work/linux/${name}_Textures" windows_textures="$work/windows/${name}_Textures"
  if [ -d "$linux_textures" ] || [ -d "$windows_textures" ]; then
    if [ "$(ls "$linux_textures" 2>/dev/null)" != "$(ls "$windows_textures" 2>/dev/null)" ]; then
      echo "  ${name}_Textures: different files"; failures=1
    else
      for image in "$linux_textures"/*; do
        if same_pixels "$image" "$windows_textures/$(basename "$image")"; then
          echo "  ${name}_Textures/$(basename "$image"): the same pixels"
        else
          echo "  ${name}_Textures/$(basename "$image"): the pixels differ"; failures=1
        fi
      done
    fi
  fi
  return "$failures"
}

echo "compare: exporting on Linux and on Windows (Wine)"
export_both sample
export_both grid --generated 1000000
status=0
compare_exports sample || status=1
compare_exports grid || status=1
[ "$status" -eq 0 ] && echo "compare: both platforms wrote the same files" || echo "compare: FAILED"
exit "$status"
