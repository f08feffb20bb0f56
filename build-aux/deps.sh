#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config libboost-dev libnvtt-dev flex bison libfl-dev
      libsqlite3-dev libjpeg-dev libpng-dev libgtest-dev libgmock-dev
      libsquish-dev libstb-dev android-libetc1-dev clang-format libembree-dev rapidjson-dev "$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >&2
fi

# PVRTexToolCLI, the PVRTC encoder, ships in the npm package texture-compressor; npm comes from Debian.
# The tool is kept in a cache folder and staged beside the executables by the build. Without it PVRTC
# conversions fail cleanly and the tests that need it are skipped, so a failure here only warns.
"$(dirname "$0")/fetch-pvrtextool.sh" || echo "warning: PVRTexToolCLI could not be fetched; PVRTC is unavailable" >&2
