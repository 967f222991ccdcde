#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test twice: once optimised, once under
# AddressSanitizer and UndefinedBehaviorSanitizer (with float-to-integer overflow).
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
