#!/usr/bin/env bash
# Builds the mesh readers and the engine's animation reader as libFuzzer programs (the clang build,
# build-aux/build-clang.sh: clang with the address and undefined-behaviour sanitizers) and fuzzes each for a
# while, starting from the corpus kept here. New inputs go to a working corpus under the build folder, so the
# corpus in the tree stays small; a crash leaves its reproducer there too (crash-*). To keep a finding, copy
# the reproducer into fuzz/corpus/<target>/ (the corpus test replays it from then on).
#
#   render/fuzz/run-fuzzers.sh [seconds per target = 180] [targets... = idxm pm lodm lodtxt imtxt kin]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
seconds="${1:-180}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(idxm pm lodm lodtxt imtxt kin)
out="$root/build-clang/render/fuzz"
echo "== building ${targets[*]}"
"$root/build-aux/build-clang.sh" $(printf -- '-t mesh_fuzz_%s ' "${targets[@]}") >/dev/null
for target in "${targets[@]}"; do
  mkdir -p "$out/corpus/$target"
  echo "== $target: fuzzing ${seconds}s"
  (cd "$out" && "./mesh_fuzz_$target" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
    "$out/corpus/$target" "$here/corpus/$target" 2>&1 | grep -E "^#[0-9]+ *DONE|stat::|ERROR|SUMMARY|Test unit" || true)
done
