#!/usr/bin/env bash
# The Windows stage: cross-builds everything for 64-bit Windows with mingw-w64 into build-windows
# and runs every suite that is not POSIX-only under Wine, one test at a time: on Windows the
# registry and the windows are the system's own, shared by every process of the Wine prefix, so
# tests cannot run side by side. The prefix lives in the build folder and its Wine server is ended
# when the stage ends, however it ends. Arguments go to CTest (-R PATTERN, say). Then both
# platforms export the same drawings, which must come out the same, and the interface tests run
# on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."

stage_start=$SECONDS
step() { echo "== windows: $* ($((SECONDS - stage_start)) s) =="; }

step "packages"
bash scripts/setup.sh --windows

build=build-windows
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

step "configure $build"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DTIDELINK_BENCHMARKS=OFF "${launcher[@]}" >/dev/null

# The build already runs the test programs (test discovery), so the prefix and its server come
# first. No display: the prefix's null graphics driver runs hidden windows and dialogs.
export TIDELINK_WINEPREFIX="${TIDELINK_WINEPREFIX:-$PWD/$build/wine-prefix}"
unset WINEPREFIX DISPLAY
trap 'step "stopping the Wine server"; bash scripts/wine-prefix.sh stop' EXIT
trap 'exit 130' INT TERM
step "Wine prefix $TIDELINK_WINEPREFIX"
bash scripts/wine-prefix.sh start

step "build"
cmake --build "$build" -j"$(nproc)"

step "tests"
# A hung test ends at the bound, far above the slowest case (about 20 s under Wine).
if ! ctest --test-dir "$build" -j1 --timeout 300 --output-on-failure "$@"; then
  # Under load Wine has been seen to end a test program at once with no output at all (10 ms, not
  # one line of the test's). The failed cases run once more; one that fails again fails the stage.
  step "the failed tests once more"
  ctest --test-dir "$build" -j1 --timeout 300 --output-on-failure --rerun-failed
fi

step "a Linux host to compare the written files with"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTIDELINK_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc)" --target tidelink-host

step "the same files on both platforms"
bash scripts/compare-platform-exports.sh build "$build"

step "interface tests (X display)"
bash scripts/test-windows-ui.sh "$build"

step "passed"
