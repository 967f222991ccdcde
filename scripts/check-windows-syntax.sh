#!/usr/bin/env bash
# Two checks that the sources above the platform layer stay buildable for 64-bit Windows:
# 1. no system-specific header, task-library name or POSIX path outside the POSIX backend, the
#    POSIX-only tests and the fuzz targets;
# 2. a syntax-only pass of the mingw-w64 compiler over every other source file, with <windows.h>
#    included first so that any of our names that it defines as a macro breaks the pass.
# Files that include Assimp, themselves or through a header of ours (model import in the stand-in
# host, and the tests that read models or exported files back with it), are Linux-only and left
# out of the second check. Needs g++-mingw-w64-x86-64-posix
# (scripts/setup.sh --windows-check installs it).
set -euo pipefail
cd "$(dirname "$0")/.."

linux_only='^(platform/posix/|tests/posix/|tests/fuzz/)'

status=0

echo "-- system-specific names outside the POSIX backend"
forbidden='tbb::|<unistd\.h>|<sys/|<fcntl\.h>|<dlfcn\.h>|fork|/proc/|/dev/shm'
if git ls-files -- '*.cpp' '*.h' | grep -Ev "$linux_only" | xargs grep -nE "$forbidden"; then
  echo "check-windows-syntax: the lines above belong behind the platform layer" >&2
  status=1
fi

echo "-- mingw-w64 syntax-only pass"
compiler=x86_64-w64-mingw32-g++-posix
if ! command -v "$compiler" >/dev/null; then
  echo "check-windows-syntax: $compiler missing (bash scripts/setup.sh --windows-check)" >&2
  exit 1
fi

# Header-only dependencies come from a folder of their own, never from the Linux /usr/include as a
# whole; GoogleTest and Google Benchmark only declare what the tests and benchmarks call.
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
ln -s /usr/include/nlohmann "$staging/nlohmann"
ln -s /usr/include/xxhash.h "$staging/xxhash.h"
ln -s /usr/include/meshoptimizer.h "$staging/meshoptimizer.h"
ln -s /usr/include/benchmark "$staging/benchmark"
ln -s /usr/src/googletest/googletest/include/gtest "$staging/gtest"
ln -s /usr/src/googletest/googlemock/include/gmock "$staging/gmock"

# The compile definitions each file gets from the build (file names, paths of test programs).
definitions="$staging/definitions.json"
cmake -S . -B "$staging/build" -DTIDELINK_BENCHMARKS=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
/usr/bin/python3 - "$staging/build/compile_commands.json" "$definitions" "$PWD" <<'EOF'
import json, shlex, sys, os
commands, target, root = sys.argv[1:4]
found = {}
for entry in json.load(open(commands)):
    path = os.path.relpath(entry["file"], root)
    words = shlex.split(entry["command"])
    found[path] = [w for w in words if w.startswith("-D")]
json.dump(found, open(target, "w"))
EOF

# Our headers that include Assimp, as an include line would name them.
assimp_pattern='#include <assimp/'
while IFS= read -r header; do
  assimp_pattern+="|#include \"$header\""
done < <(git grep -l '#include <assimp/' -- '*.h')

files=()
skipped=()
while IFS= read -r file; do
  if grep -qE "$assimp_pattern" "$file"; then
    skipped+=("$file")
  else
    files+=("$file")
  fi
done < <(git ls-files -- '*.cpp' | grep -Ev "$linux_only")

# One compiler per core; each file's messages go to a file of its own, named after it.
check_one() {
  local file=$1 report
  # A file the build does not compile here (the host without Assimp, say) has no definitions.
  report="$staging/errors/${file//\//_}"
  mapfile -t defines < <(/usr/bin/python3 -c 'import json,sys; sys.stdout.write("".join(d + "\n" for d in json.load(open(sys.argv[1])).get(sys.argv[2], [])))' \
    "$staging/definitions.json" "$file")
  "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -include windows.h -DNOMINMAX -DWIN32_LEAN_AND_MEAN \
    -I. -isystem "$staging" "${defines[@]}" "$file" >"$report" 2>&1 || echo "$file" >>"$staging/failed"
}
export -f check_one
export compiler staging
mkdir "$staging/errors"
touch "$staging/failed"
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -I{} bash -c 'check_one "$1"' _ {}

mapfile -t failed < <(sort "$staging/failed")
if [ ${#failed[@]} -ne 0 ]; then
  for file in "${failed[@]}"; do head -n 8 "$staging/errors/${file//\//_}" >&2; done
  echo "check-windows-syntax: ${#failed[@]} of ${#files[@]} files do not compile for Windows:" >&2
  printf '  %s\n' "${failed[@]}" >&2
  exit 1
fi
echo "check-windows-syntax: ${#files[@]} files compile for Windows; ${#skipped[@]} need Assimp: ${skipped[*]}"
exit "$status"
