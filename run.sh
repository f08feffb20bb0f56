#!/usr/bin/env bash
# Builds if needed and runs the staged tool: ./run.sh ARGS
# The build shows its progress on standard error; standard output is the tool's alone.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/build-aux/deps.sh"
"$here/build-aux/build.sh" >&2
exec "$here/build/stage/bin/VelmarUtil" "$@"
