#!/usr/bin/env bash
# Runs the texture compression benchmark on real game textures: installs the corpus (Debian package
# colobot-common-textures) and the build dependencies when missing, builds, runs. Extra arguments go to the
# program (e.g. --max-mpix 4 for a quick run, --slow for the searching ETC1 modes, --no-nvtt).
# --before REV (first argument) adds the "before" column: the codec library and ETC1 codec of git revision
# REV, checked out into the build folder and built beside ours (e.g. --before main).
# VELMAR_BUILD_DIR chooses the build folder (default build/).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${VELMAR_BUILD_DIR:-$root/build}"
before_tree=""
if [ "${1:-}" = "--before" ]; then
  [ $# -ge 2 ] || { echo "--before needs a git revision" >&2; exit 2; }
  before_tree="$build/before-src"
  rm -rf "$before_tree"
  mkdir -p "$before_tree"
  git -C "$root" archive "$2" textures | tar -x -C "$before_tree"
  shift 2
fi
if ! dpkg-query -W -f='${Status}' colobot-common-textures 2>/dev/null | grep -q 'install ok installed'; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq colobot-common-textures >&2
fi
"$root/build-aux/deps.sh"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake -S "$root" -B "$build" -DVELMAR_BEFORE_TREE="$before_tree" >/dev/null
cmake --build "$build" -j 4 --target texture_bench velmar_nvtt_peer >&2
list="$build/bench/textures/corpus.txt"
dpkg -L colobot-common-textures | grep '\.png$' > "$list"
exec "$build/bench/textures/texture_bench" "$@" "$list"
