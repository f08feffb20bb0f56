#!/usr/bin/env bash
# Runs the texture compression benchmark on real game textures: installs the corpus (Debian package
# colobot-common-textures) and the build dependencies when missing, builds, runs. Extra arguments go to the
# program (e.g. --max-mpix 4 for a quick run, --slow for the searching ETC1 modes, --no-nvtt).
# VELMAR_BUILD_DIR chooses the build folder (default build/).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
if ! dpkg-query -W -f='${Status}' colobot-common-textures 2>/dev/null | grep -q 'install ok installed'; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq colobot-common-textures >&2
fi
"$root/build-aux/deps.sh"
build="${VELMAR_BUILD_DIR:-$root/build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j 4 --target texture_bench velmar_nvtt_peer >&2
list="$build/bench/textures/corpus.txt"
dpkg -L colobot-common-textures | grep '\.png$' > "$list"
exec "$build/bench/textures/texture_bench" "$@" "$list"
