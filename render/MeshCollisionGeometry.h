#pragma once
// The triangles of a mesh definition's chunks as the collision tree reads them. Every triangle of every
// chunk (by the chunk's primitive type) has a number g in chunk order; its tree id is
// ((g / 21845) << 16) | ((g % 21845) x 3), so that ids keep the tree's form (a 9-bit high part, a low
// part that is a multiple of 3 below 65536) for meshes of up to 11,184,640 triangles, whatever the
// primitive type and however long a chunk's index list.
#include "engine/Vector.h"
#include "render/MeshTriangles.h"
#include "render/VLAxisBoxTree.h"
#include "render/VelmarIndexedMeshDefinition.h"

#include <cstdint>
#include <vector>

class MeshCollisionGeometry : public VLAxisBoxTreeExternalGeometry
{
public:
    static constexpr uint32_t kPerBlock = 21845;
    static constexpr uint64_t kMaxTriangles = uint64_t(kPerBlock) * VLAxisBoxTree::kMaxChunks;

    // Takes the chunks (shared; their vertices and indices must not change while the geometry is used) and
    // counts their triangles.
    MeshCollisionGeometry(const ChunkArray& chunks, uint32_t chunkCount);

    bool GetTriangle(uint32_t id, Orvo::Vector3& a, Orvo::Vector3& b, Orvo::Vector3& c) const override;
    // Adds every triangle to a tree whose build has begun.
    void AddTriangles(VLAxisBoxTree& tree) const;
    bool Decode(uint32_t id, uint32_t& chunk, uint32_t& triangle) const;

    static uint32_t EncodeId(uint64_t g) { return uint32_t(((g / kPerBlock) << 16) | ((g % kPerBlock) * 3)); }

private:
    ChunkArray chunks_;
    std::vector<ChunkTriangles> triangles_;  // each chunk's triangles, looked up once
    std::vector<uint64_t> first_;            // the number of the first triangle of each chunk, then the total
};
