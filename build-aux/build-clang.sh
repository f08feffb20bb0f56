#!/usr/bin/env bash
# Configures (once) and builds the whole tree with clang 14 into build-clang/, under the same warnings
# policy as the g++ build (-Wall -Wextra, warnings as errors), with the sanitizer builds of the tests and,
# as clang can make them, the mesh readers' libFuzzer programs (build-clang/render/fuzz/mesh_fuzz_*).
# Installs clang and its sanitizer and fuzzer runtimes when missing. Arguments go to the build (e.g.
# "-t mesh_fuzz_kin"); VELMAR_JOBS sets the parallel jobs (default: the processors this may run on).
# The tests then run as usual: cd build-clang && ctest -j4.
set -euo pipefail
cd "$(dirname "$0")/.."
./build-aux/deps.sh clang libclang-rt-14-dev
jobs="${VELMAR_JOBS:-$(nproc)}"
if [ ! -f build-clang/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B build-clang -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_WERROR=ON \
    >/dev/null
fi
cmake --build build-clang -j "$jobs" "$@"
