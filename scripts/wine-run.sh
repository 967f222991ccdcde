#!/usr/bin/env bash
# Runs one Windows program under Wine in the prefix that scripts/wine-prefix.sh prepares. It is
# the Windows build's CMAKE_CROSSCOMPILING_EMULATOR, so CTest and test discovery start every .exe
# through it. The debugger is disabled, so that a crash ends the program with a non-zero status
# instead of a backtrace that Wine may report as success.
set -euo pipefail
: "${WINEPREFIX:=${TIDELINK_WINEPREFIX:-$HOME/.cache/tidelink/wine-prefix}}"
export WINEPREFIX WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
