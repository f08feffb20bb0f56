#!/usr/bin/env bash
# Builds everything and runs every test (unit tests and end-to-end tests) through CTest.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/build-aux/deps.sh"
VELMAR_WERROR="${VELMAR_WERROR:-ON}" "$here/build-aux/build.sh"
cd "$here/build"
ctest --output-on-failure -j "$(nproc)" "$@"
