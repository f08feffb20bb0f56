#include "render/MeshDataAccess.h"

#include "render/VelmarIndexedMeshInstance.h"

bool MeshNeedsLOD(const VelmarIndexedMeshInstance* instance)
{
    if (instance == nullptr) return false;
    const ChunkArray chunks = instance->GetChunks();  // a shared copy: the instance may change its own
    for (const auto& chunk : chunks)
        if (chunk && chunk->GetNumIndices() > 3000) return true;
    return false;
}

uint32_t MeshElementCount(const VelmarIndexedMeshInstance* instance)
{
    return instance ? instance->GetElementCount() : 0;
}

const Orvo::PString& MeshDataTypeName()
{
    static const Orvo::PString name("some name");
    return name;
}
