#!/usr/bin/env bash
# Configures (once) and builds into build/: one configuration for run.sh, test.sh and CI, so that neither
# rebuilds what the other built. Warnings in our own code are errors (VELMAR_WERROR=OFF in the environment
# turns that off, and reconfigures the build). The build's progress goes to standard output: on a terminal one
# status line that keeps being rewritten, elsewhere one line a step; compiler messages as they come. A build
# with nothing to do but its every-time steps (the glob check, staging the data files) prints nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
werror="${VELMAR_WERROR:-ON}"
cached=""
[ -f build/CMakeCache.txt ] && cached="$(sed -n 's/^VELMAR_WERROR:BOOL=//p' build/CMakeCache.txt)"
if [ ! -f build/build.ninja ] || [ "$cached" != "$werror" ]; then
  echo "Configuring build/ (VELMAR_WERROR=$werror)"
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_WERROR="$werror" >/dev/null
fi
every_time='^\[[0-9]+/[0-9]+\] (Re-checking globbed directories|Staging data files|Staging PVRTexToolCLI)\.*$'
terminal=false
[ -t 1 ] && terminal=true
width=$( (tput cols 2>/dev/null || echo 100) | tail -n 1)
set +e
cmake --build build -j "$jobs" "$@" 2>&1 | {
  open=false  # a status line waits on the terminal for its line end
  while IFS= read -r line; do
    [[ $line =~ $every_time || $line == "ninja: no work to do." ]] && continue
    if $terminal && [[ $line =~ ^\[[0-9]+/[0-9]+\]\  ]]; then
      printf '\r\033[K%s' "${line:0:$((width - 1))}"
      open=true
    else
      $open && echo
      open=false
      echo "$line"
    fi
  done
  if $open; then echo; fi
}
status=${PIPESTATUS[0]}
exit "$status"
