#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need (clang, its libFuzzer
# runtime and expat for the fuzz targets). With --windows, also what the Windows stage
# (scripts/test-windows.sh) needs: the mingw-w64 cross compilers, Wine, a virtual X server with its
# screenshot tools, and the fonts the Wine prefix gets. --windows-check is the older name of it.
# Idempotent: packages already present are not reinstalled, and apt is only asked when one is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libtbb-dev libsqlite3-dev libpng-dev libturbojpeg0-dev libxxhash-dev
  libassimp-dev assimp-utils assimp-testmodels python3-collada
  libmeshoptimizer-dev nlohmann-json3-dev
  clang libclang-rt-14-dev libexpat1-dev
)
if [ "${1:-}" = "--windows" ] || [ "${1:-}" = "--windows-check" ]; then
  packages+=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine xvfb x11-apps imagemagick googletest
             fonts-liberation)
elif [ $# -ne 0 ]; then
  echo "usage: scripts/setup.sh [--windows]" >&2
  exit 2
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
