#!/usr/bin/env bash
# Fetches PVRTexToolCLI 4.17 from the npm package texture-compressor@1.0.2 into the tool cache
# (VELMAR_TOOL_CACHE, default ~/.cache/velmar), unless it is there already. Prints nothing on success.
set -euo pipefail
cache="${VELMAR_TOOL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmar}"
dest="$cache/texture-compressor-1.0.2"
[ -x "$dest/PVRTexToolCLI" ] && exit 0
if ! command -v npm >/dev/null 2>&1; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq nodejs npm >&2
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent texture-compressor@1.0.2 >/dev/null 2>&1)
tar -xzf "$work"/texture-compressor-1.0.2.tgz -C "$work" package/bin/linux/PVRTexToolCLI \
  package/bin/linux/LICENSE-PVRTexToolCLI.txt
mkdir -p "$dest"
install -m 0755 "$work/package/bin/linux/PVRTexToolCLI" "$dest/PVRTexToolCLI.part"
install -m 0644 "$work/package/bin/linux/LICENSE-PVRTexToolCLI.txt" "$dest/LICENSE-PVRTexToolCLI.txt"
mv "$dest/PVRTexToolCLI.part" "$dest/PVRTexToolCLI"
