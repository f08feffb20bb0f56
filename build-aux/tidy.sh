#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over our sources, or the files given, against build/compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/compile_commands.json ] || ./build-aux/build.sh
if [ $# -eq 0 ]; then
  mapfile -t files < <(git ls-files -- '*.cpp' | grep -v -E '^(bench|tests)/|/tests/')
else
  files=("$@")
fi
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -n 8 clang-tidy -p build --quiet 2>/dev/null
