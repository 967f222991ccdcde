#!/usr/bin/env bash
# Sets up the machine, builds the plug-in, its stand-in host and the stand-in renderer, then runs
# both halves on the built-in sample drawing (scripts/run-sample.sh): the COLLADA export through
# the plug-in's menu command, and a live link started from the plug-in's tool, which launches the
# renderer, follows a short edit script and is stopped from the tool. With arguments, runs
# tidelink-host with them instead (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTIDELINK_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target tidelink-host ombrel-renderer

if [ "$#" -gt 0 ]; then
  exec ./build/bin/tidelink-host "$@"
fi

exec bash scripts/run-sample.sh "$PWD/out"
