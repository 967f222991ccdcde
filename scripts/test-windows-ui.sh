#!/usr/bin/env bash
# The Windows user-interface tests: the plug-in's dialogs, message boxes, save dialog and progress
# window as real windows under Wine, drawn on a virtual X display and photographed.
#   scripts/test-windows-ui.sh BUILD_DIR [gtest arguments...]
# Wine-only arrangements live here, not in the product: a prefix of its own with the X11 graphics
# driver and a virtual desktop (no window manager, so no 2 s per hidden window, and the same
# screen geometry on every run), an Xvfb display, and a stand-in xdg-open first on PATH that
# records the web addresses the plug-in hands to the browser.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:?usage: scripts/test-windows-ui.sh BUILD_DIR [gtest arguments...]}" && pwd)
shift

export WINEPREFIX="$build/wine-prefix-ui"
export TIDELINK_WINEPREFIX="$WINEPREFIX"
export WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
scratch=$(mktemp -d)
xvfb_pid=

finish() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap finish EXIT

# A free display number: the first without a lock file.
display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
export DISPLAY=":$display"

if [ ! -f "$WINEPREFIX/.tidelink-ui-ready" ]; then
  bash scripts/wine-prefix.sh start >/dev/null
  reg() { "$wine" reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null; }
  reg 'HKCU\Software\Wine\Drivers' Graphics REG_SZ x11
  reg 'HKCU\Software\Wine\Explorer' Desktop REG_SZ Default
  reg 'HKCU\Software\Wine\Explorer\Desktops' Default REG_SZ 1280x1024
  reg 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD 96
  /usr/lib/wine/wineserver -k || true
  touch "$WINEPREFIX/.tidelink-ui-ready"
fi
/usr/lib/wine/wineserver -p
"$wine" wineboot >/dev/null 2>&1

# The browser the shell hands web addresses to.
mkdir -p "$scratch/bin"
cat > "$scratch/bin/xdg-open" <<'SCRIPT'
#!/bin/sh
printf '%s\n' "$1" >> "$TIDELINK_OPENED_ADDRESSES"
SCRIPT
chmod +x "$scratch/bin/xdg-open"
export PATH="$scratch/bin:$PATH"
export TIDELINK_OPENED_ADDRESSES="$scratch/opened-addresses"
export TIDELINK_UI_DISPLAY="$DISPLAY"
export TIDELINK_UI_SHOTS="${TIDELINK_UI_SHOTS:-$build/ui-shots}"
export TIDELINK_BIN_DIR="$build/bin"
export TIDELINK_SOURCE_DIR="$PWD"
mkdir -p "$TIDELINK_UI_SHOTS"

"$wine" "$build/bin/NativeDialogsTest.exe" "$@"
