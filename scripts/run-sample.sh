#!/usr/bin/env bash
# The main job of scripts/run.sh once everything is built: saves the built-in sample drawing as
# COLLADA through the plug-in's menu command, then links it live from the plug-in's tool, which
# launches the installed renderer, follows a short edit script and is stopped from the tool. The
# renderer's updates are shown as they come. Writes into the folder given (default: out/); one run
# at a time owns that folder, and a second run changes nothing in it.
set -euo pipefail
cd "$(dirname "$0")/.."

bin="${TIDELINK_BIN:-$PWD/build/bin}"
out="$(realpath -m "${1:-$PWD/out}")"
mkdir -p "$out"
exec 9>"$out/.run.lock"
if ! flock -n 9; then
  echo "run: another run is writing into $out; nothing was changed. Wait for it to end and try again." >&2
  exit 1
fi

output="$out/sample.dae"
echo "== the COLLADA export =="
"$bin/tidelink-host" export -o "$output" --timings

echo
echo "== the live link =="
install="$out/Ombrel"
"$bin/Ombrel.exe" --install "$install"
# A renderer the plug-in launches keeps its summary, picture and history of updates here.
export OMBREL_OUTPUT_DIR="$out"
summary="$out/TideLink.json" picture="$out/TideLink.png" history="$out/TideLink.history.jsonl"
started="$out/.run.started"
touch "$started"
trap 'rm -f "$started"' EXIT

# The renderers of this installation that run already are not this run's to close.
renderers_of_install() {
  for process in /proc/[0-9]*; do
    if [ "$(readlink "$process/exe" 2>/dev/null)" = "$install/Ombrel.exe" ]; then echo "${process#/proc/}"; fi
  done
}
before="$(renderers_of_install)"

# The launched renderer's own output goes nowhere; its history file shows each update it mirrors
# from now on, until the host has ended.
touch "$history"
mark=$(($(stat -c %s "$history") + 1))
status=0
"$bin/tidelink-host" link --document "$out/sample.vwx" --ui-script samples/link-answers.txt \
  --edits samples/sample-edits.txt --seconds 2 &
host=$!
tail -s 0.2 -c "+$mark" --pid="$host" -F "$history" 2>/dev/null | /usr/bin/python3 -u scripts/show_updates.py &
follower=$!
wait "$host" || status=$?
wait "$follower" || true

launched=""
for process in $(renderers_of_install); do
  if ! grep -qx "$process" <<<"$before"; then launched="$launched $process"; fi
done

echo
echo "The sample drawing was saved as"
echo "  $output"
echo "with its textures in"
echo "  ${output%.dae}_Textures/"
echo "It is written for the renderer's importer: general COLLADA viewers show its untextured surfaces"
echo "as invisible (the README says why). Check what it holds from the command line:"
echo "  assimp info \"$output\""
echo
if [ -n "$launched" ]; then
  # Ended here: it was started for this run and would run on.
  kill $launched 2>/dev/null || true
  # It writes its last picture and summary as it stops: wait for that (ten seconds at most, then
  # end it), so that the files named below are complete and nothing is written after this run.
  for process in $launched; do
    for _ in $(seq 200); do [ -e "/proc/$process" ] || break; sleep 0.05; done
    kill -KILL "$process" 2>/dev/null || true
  done
  echo "The live link launched the renderer installed in"
  echo "  $install"
  echo "which ran for this link only and has been closed."
else
  echo "The live link was mirrored by a renderer that was already running; it runs on, and keeps"
  echo "its files where its own --dump, --snapshot and --history options say."
fi
kept=""
for file in "$picture" "$summary" "$history"; do
  if [ -s "$file" ] && [ "$file" -nt "$started" ]; then kept="$kept  $file"$'\n'; fi
done
if [ -n "$kept" ]; then
  echo "What the launched renderer last showed is in"
  printf '%s' "$kept"
fi
exit "$status"
