#!/usr/bin/env bash
# The seam between the platform layer and the rest, checked from the sources alone: no
# POSIX-specific header, task-library name or POSIX path outside the POSIX backend, the POSIX-only
# tests and the fuzz targets, and no <windows.h> outside the Windows backend and the Windows-only
# tests. Whether everything then builds for Windows is the Windows stage's cross-build
# (scripts/test-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

status=0

echo "-- system-specific names outside the POSIX backend"
linux_only='^(platform/posix/|tests/posix/|tests/fuzz/)'
forbidden='tbb::|<unistd\.h>|<sys/|<fcntl\.h>|<dlfcn\.h>|fork|/proc/|/dev/shm'
if git ls-files -- '*.cpp' '*.h' | grep -Ev "$linux_only" | xargs grep -nE "$forbidden"; then
  echo "check-windows-seam: the lines above belong behind the platform layer" >&2
  status=1
fi

echo "-- <windows.h> outside the Windows backend"
windows_only='^(platform/win32/|tests/win32/|tests/support/win32/)'
if git ls-files -- '*.cpp' '*.h' | grep -Ev "$windows_only" | xargs grep -nE '#include <(windows|winreg|winuser)\.h>'; then
  echo "check-windows-seam: the lines above belong in platform/win32" >&2
  status=1
fi

[ "$status" -eq 0 ] && echo "check-windows-seam: no system calls above the platform layer"
exit "$status"
