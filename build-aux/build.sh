#!/usr/bin/env bash
# Configures (once) and builds into build/. Quiet unless something fails.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
# VELMAR_WERROR=ON|OFF in the environment sets the CMake option of that name (test.sh turns it on).
opts=()
[ -n "${VELMAR_WERROR:-}" ] && opts+=(-DVELMAR_WERROR="$VELMAR_WERROR")
if [ ! -f build/build.ninja ] || [ ${#opts[@]} -gt 0 ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}" >/dev/null
fi
cmake --build build -j "$jobs" "$@"
