#!/usr/bin/env bash
# Builds if needed and runs the staged tool: ./run.sh ARGS
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/build-aux/deps.sh"
"$here/build-aux/build.sh" >/dev/null
exec "$here/build/stage/bin/VelmarUtil" "$@"
