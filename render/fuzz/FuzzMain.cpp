// The libFuzzer entry for one mesh reader, chosen when built (-DMESH_FUZZ_TARGET="idxm").
#include "render/fuzz/MeshFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RunMeshFuzzTarget(MESH_FUZZ_TARGET, data, size);
    return 0;
}
