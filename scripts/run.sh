#!/usr/bin/env bash
# Sets up the machine, builds the plug-in, its stand-in host and the stand-in renderer, then runs
# both halves on the built-in sample drawing: the COLLADA export through the plug-in's menu
# command, and a live link started from the plug-in's tool, which launches the renderer, follows
# a short edit script and is stopped from the tool. With arguments, runs tidelink-host with them
# instead (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTIDELINK_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target tidelink-host ombrel-renderer

if [ "$#" -gt 0 ]; then
  exec ./build/bin/tidelink-host "$@"
fi

out="$PWD/out"
output="$out/sample.dae"
mkdir -p "$out"
echo "== the COLLADA export =="
./build/bin/tidelink-host export -o "$output" --timings

echo
echo "== the live link =="
install="$out/Ombrel"
./build/bin/Ombrel.exe --install "$install"
# The renderer the plug-in launches keeps its summary and picture here.
export OMBREL_OUTPUT_DIR="$out"
rm -f "$out/TideLink.json" "$out/TideLink.png"
./build/bin/tidelink-host link --document "$out/sample.vwx" --ui-script samples/link-answers.txt \
  --edits samples/sample-edits.txt --seconds 2

# The launched renderer would run on; it is ended here, found by its program file.
for process in /proc/[0-9]*; do
  if [ "$(readlink "$process/exe" 2>/dev/null)" = "$install/Ombrel.exe" ]; then kill "${process#/proc/}" || true; fi
done

cat <<DONE

The sample drawing was saved as
  $output
with its textures in
  ${output%.dae}_Textures/
It is written for the renderer's importer: general COLLADA viewers show its untextured surfaces
as invisible (the README says why). Check what it holds from the command line:
  assimp info "$output"

The live link mirrored the sample into the renderer installed in
  $install
which kept what it last showed in
  $out/TideLink.png   (a picture from the link's camera)
  $out/TideLink.json  (every surface with its triangles, colour, texture and bounds; the camera)
DONE
