#!/usr/bin/env bash
# Sets up the machine, builds the plug-in and its stand-in host, and saves the built-in sample
# drawing as COLLADA through the plug-in's menu command. With arguments, runs tidelink-host with
# them instead (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTIDELINK_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target tidelink-host ombrel-renderer

if [ "$#" -gt 0 ]; then
  exec ./build/bin/tidelink-host "$@"
fi

output="$PWD/out/sample.dae"
mkdir -p "$(dirname "$output")"
./build/bin/tidelink-host export -o "$output" --timings
cat <<DONE

The sample drawing was saved as
  $output
with its textures in
  ${output%.dae}_Textures/
Open the .dae in any COLLADA viewer, or check it from the command line:
  assimp info "$output"
DONE
