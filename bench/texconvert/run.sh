#!/usr/bin/env bash
# Runs the batch conversion benchmark on the Debian package colobot-common-textures, beside nvcompress of
# libnvtt-bin (both installed when missing). Extra arguments go to the program (a number limits the images;
# --before STAGE adds an older build's stage folder). VELMAR_BUILD_DIR: build folder.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
missing=""
for p in colobot-common-textures libnvtt-bin; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq $missing >&2
fi
"$root/build-aux/deps.sh"
build="${VELMAR_BUILD_DIR:-$root/build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target texconvert_bench >&2
list="$build/bench/texconvert/corpus.txt"
dpkg -L colobot-common-textures | grep '\.png$' > "$list"
exec "$build/bench/texconvert/texconvert_bench" "$list" "$@"
