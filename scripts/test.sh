#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test twice, once optimised and once under
# AddressSanitizer and UndefinedBehaviorSanitizer (with float-to-integer overflow), the
# threaded suites a third time under ThreadSanitizer, and the fuzz targets for a fixed number of
# executions each.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=$(nproc)

echo "== tests (Release) =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTIDELINK_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== tests (AddressSanitizer + UndefinedBehaviorSanitizer) =="
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDELINK_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

echo "== threaded tests (ThreadSanitizer) =="
# The live link's threads: the link controller against a delivery thread, and the end-to-end
# runs of the host (its delivery thread against its ticking main thread) and the renderer. Any report fails its test (see
# tests/sanitizers/tsan.supp and docs/THREADS.md).
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDELINK_THREAD_SANITIZE=ON -DTIDELINK_BENCHMARKS=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target tidelink_link_tests tidelink_e2e_tests
TSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/tsan.supp halt_on_error=1 exitcode=66" \
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" \
  -R '^(OmbrelPluginTest|OmbrelPluginYesTest|LiveLinkTest|HostLifecycleTest|RendererLinkTest)'

echo "== fuzz targets (libFuzzer, clang, AddressSanitizer + UndefinedBehaviorSanitizer) =="
# Each target runs a fixed number of executions from its seeds and fails on the first crash, leak
# or sanitizer report (docs/FUZZING.md: longer runs, replaying a crash).
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDELINK_FUZZ=ON -DTIDELINK_BENCHMARKS=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j"$jobs" --target ColladaTextFuzzer SceneOperationFuzzer LinkReaderFuzzer
ctest --test-dir build-fuzz --output-on-failure -j"$jobs" -L fuzz
