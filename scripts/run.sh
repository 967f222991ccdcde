#!/usr/bin/env bash
# Sets up the machine, builds the plug-in and its stand-in host, and runs the host with the
# plug-in. Arguments are passed on to tidelink-host (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTIDELINK_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target tidelink-host
exec ./build/bin/tidelink-host "$@"
