#!/usr/bin/env bash
# Configures (once) and builds into build/: one configuration for run.sh, test.sh and CI, so that neither
# rebuilds what the other built. Warnings in our own code are errors (VELMAR_WERROR=OFF in the environment
# turns that off, and reconfigures the build). The build's progress goes to standard output: on a terminal
# Ninja's one status line, elsewhere one line a step; nothing when everything is up to date.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
werror="${VELMAR_WERROR:-ON}"
cached=""
[ -f build/CMakeCache.txt ] && cached="$(sed -n 's/^VELMAR_WERROR:BOOL=//p' build/CMakeCache.txt)"
if [ ! -f build/build.ninja ] || [ "$cached" != "$werror" ]; then
  echo "Configuring build/ (VELMAR_WERROR=$werror)" >&2
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_WERROR="$werror" >/dev/null
fi
# A dry run first, so that an up-to-date tree prints nothing (not even Ninja's "no work to do").
if [ $# -eq 0 ] && cmake --build build -- -n 2>/dev/null | grep -q "no work to do"; then
  exit 0
fi
cmake --build build -j "$jobs" "$@"
