#!/usr/bin/env bash
# Builds everything and runs every test (unit tests and end-to-end tests) through CTest. The build is the
# one run.sh makes (build/, warnings as errors), so neither rebuilds after the other.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/build-aux/deps.sh"
"$here/build-aux/build.sh"
cd "$here/build"
ctest --output-on-failure -j "$(nproc)" "$@"
