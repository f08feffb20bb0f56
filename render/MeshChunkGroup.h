#pragma once
// One level of a LOD mesh: its geometry chunks with one material each, their names, the sums of their
// vertices and faces, and whether the level is skinned in hardware. The chunk and material arrays are
// shared (use counted) between the definition, its owned level meshes and the instances.
#include "render/VelmarIndexedMeshDefinition.h"

#include <vector>

namespace Orvo {
class Particle;
}

struct MeshChunkGroup
{
    uint32_t chunkCount = 0;
    uint32_t vertexCount = 0;
    uint32_t faceCount = 0;
    bool skinning = false;
    ChunkArray chunks;
    MaterialArray materials;
    std::vector<Orvo::PString> chunkNames;
    std::vector<Orvo::Particle*> boneParticles;  // per chunk, filled by an instance's set-up
};
