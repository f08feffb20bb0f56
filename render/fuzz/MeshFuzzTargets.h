#pragma once
// The mesh readers as fuzz targets, shared by the libFuzzer programs (fuzz/run-fuzzers.sh) and the test
// that replays the corpus kept in fuzz/corpus/. Each target reads untrusted bytes; it aborts only when a
// file it accepted breaks what every accepted file must keep (chunks pass their own check, a LOD mesh
// saved and read back keeps its levels, chunks, materials and rules; an animation is written back byte for
// byte).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// "idxm", "pm", "lodm", "lodtxt", "imtxt", and "kin" (the engine's animation reader).
const std::vector<std::string>& MeshFuzzTargetNames();
// Runs one input through a target; returns the reader's result.
int RunMeshFuzzTarget(const std::string& target, const uint8_t* data, size_t size);
