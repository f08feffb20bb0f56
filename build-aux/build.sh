#!/usr/bin/env bash
# Configures (once) and builds into build/. Quiet unless something fails.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j "$jobs" "$@"
