#!/usr/bin/env bash
# Sets up the machine, checks that no system call sits above the platform layer, cross-builds for
# Windows and runs the suites that are not POSIX-only under Wine (scripts/test-windows.sh), then
# builds and runs every test twice, once optimised and once under AddressSanitizer and
# UndefinedBehaviorSanitizer (with float-to-integer overflow), the threaded suites a third time
# under ThreadSanitizer, and the fuzz targets for a fixed number of executions each.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --windows
jobs=$(nproc)
# A compiler cache, where the machine has one, makes a second run of this command quicker.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

echo "== Windows seam (no system calls above the platform layer) =="
bash scripts/check-windows-seam.sh

echo "== Windows (mingw-w64 cross-build, tests under Wine) =="
# A failure there still lets the Linux stages run; the command fails at its end.
windows_status=0
bash scripts/test-windows.sh || windows_status=$?

echo "== tests (Release) =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTIDELINK_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== tests (AddressSanitizer + UndefinedBehaviorSanitizer) =="
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDELINK_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

echo "== threaded tests (ThreadSanitizer) =="
# The threaded paths: the link controller against a delivery thread, the parallel flush, the
# progress window's thread, and the end-to-end runs of the host (its delivery thread against its
# ticking main thread, the parallel export) and the renderer. Any report fails its test. The
# longest history keeps the stack of a task's earlier write, so that the suppressions can see it
# ran in the task library (see tests/sanitizers/tsan.supp and docs/THREADS.md). The three progress
# window cases left out count the process's threads, which the sanitizer's own thread changes;
# the full-document case streams 5000 surfaces through one thread, which the other builds cover.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDELINK_THREAD_SANITIZE=ON -DTIDELINK_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
cmake --build build-tsan -j"$jobs" --target tidelink_link_tests tidelink_e2e_tests tidelink_scene_tests tidelink_ui_tests
TSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/tsan.supp halt_on_error=1 exitcode=66 history_size=7" \
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" \
  -R '^(OmbrelPluginTest|OmbrelPluginYesTest|LiveLinkTest|HostLifecycleTest|RendererLinkTest|RendererLinkPosixTest|CrashRecoveryTest|SceneGeometryCacheTest|ExportCommandTest|ExportCommandPosixTest|ExportCommandReadersTest|DialogUITest)\.' \
  -E '^(DialogUITest\.(ShowingTheProgressTwiceReplacesTheWindow|DestroyingTheUIClosesTheProgressWindowAndEndsItsThread|ProcessWideInstanceTakesItsBackendFromTheEnvironment)|LiveLinkTest\.SurfacesBeyondAFullDocumentAreLeftOutAndNamedOnceInTheDebugLog)$'

echo "== fuzz targets (libFuzzer, clang, AddressSanitizer + UndefinedBehaviorSanitizer) =="
# Each target runs a fixed number of executions from its seeds and fails on the first crash, leak
# or sanitizer report (docs/FUZZING.md: longer runs, replaying a crash).
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDELINK_FUZZ=ON -DTIDELINK_BENCHMARKS=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$jobs" --target ColladaTextFuzzer SceneOperationFuzzer LinkReaderFuzzer
ctest --test-dir build-fuzz --output-on-failure -j"$jobs" -L fuzz

if [ "$windows_status" -ne 0 ]; then
  echo "test: the Windows stage failed (status $windows_status); see its transcript above" >&2
  exit "$windows_status"
fi
