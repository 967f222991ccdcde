#!/usr/bin/env bash
# Prepares the Wine prefix the Windows tests run in (once: fonts, no crash dialog, windows without
# a display), then starts a persistent Wine server for it, so that each test process costs
# milliseconds instead of the seconds a server start and stop take.
#   scripts/wine-prefix.sh start   prepare if needed, start the server
#   scripts/wine-prefix.sh stop    end the server and every program of the prefix
set -euo pipefail
: "${WINEPREFIX:=${TIDELINK_WINEPREFIX:-$HOME/.cache/tidelink/wine-prefix}}"
export WINEPREFIX WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
marker="$WINEPREFIX/.tidelink-ready"

set_value() {  # key name type data
  "$wine" reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null
}

prepare() {
  echo "wine: preparing the prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1
  # Debian's Wine leaves its own fonts out of a new prefix; without them no text is drawn.
  cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$WINEPREFIX/drive_c/windows/Fonts/"
  local replacements='HKCU\Software\Wine\Fonts\Replacements'
  for face in "Arial" "MS Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" \
              "Segoe UI" "Tahoma"; do
    set_value "$replacements" "$face" REG_SZ "Liberation Sans"
  done
  set_value 'HKCU\Software\Wine\WineDbg' ShowCrashDialog REG_DWORD 0
  # Hidden windows, window messages and dialogs work with no X server through the null driver.
  set_value 'HKCU\Software\Wine\Drivers' Graphics REG_SZ null
  "$wine" wineboot --shutdown >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w
  touch "$marker"
}

case "${1:-}" in
  start)
    [ -f "$marker" ] || prepare
    /usr/lib/wine/wineserver -p
    "$wine" wineboot >/dev/null 2>&1
    echo "wine: server running for $WINEPREFIX"
    ;;
  stop)
    /usr/lib/wine/wineserver -k || true
    ;;
  *)
    echo "usage: scripts/wine-prefix.sh start|stop" >&2
    exit 2
    ;;
esac
