#pragma once
// The instance of an animated (skinned) mesh: a mesh instance that is also an influence mesh, so that its
// chunks follow the bones of its own copy of the mesh's skeleton before they are drawn (once per frame;
// rendering twice in one frame skins once).
//
// Each instance holds its own copies of the mesh's chunks (chunks with flag 0x40 excepted): a chunk
// skinned in hardware gets its own palette of skinning matrices (its vertex data stays shared); a chunk
// skinned in software also gets its own vertex data, because skinning rewrites its positions.
//
// Chunks from another skinned instance can be added (AddSkinnedChunk) or merged into one of this
// instance's chunks (MergeSkinnedChunk): their bones are matched to this instance's bones by name, and the
// palette bytes of their vertices (four a vertex, each a palette slot x 3) are rewritten for this
// instance's palette. A palette byte that names no slot of the palette being mapped ends the rewrite of
// its vertex, and a mapping that cannot be written into a byte refuses the chunk.
#include "render/VelmarIndexedMeshInstance.h"
#include "render/VelmarInfluenceMesh.h"

#include <cstdint>
#include <vector>

class VelmarDynamicIndexedMeshInstance : public VelmarIndexedMeshInstance, public VelmarInfluenceMesh
{
public:
    static constexpr uint32_t kTypeId = 18;

    explicit VelmarDynamicIndexedMeshInstance(VelmarIndexedMeshDefinition* definition);

    // After SetResource and InitialiseFromDefinition: this instance's own skinned chunks, the bones from
    // the definition's influences, and a copy of its skeleton, bound.
    void SetupSkinning();

    uint32_t GetID() const override { return kTypeId; }
    Orvo::Particle* CreateInstance() const override;
    void Render(Orvo::Display* display, Orvo::ViewPort& viewport, Orvo::Matrix4& matrix) override;
    void RenderGeometry(Orvo::Display* display, Orvo::ViewPort& viewport, const Orvo::Matrix4& matrix,
                        bool lit) override;
    // The indexed clone, then the old chunk's matrix assignments again on the clone.
    void CloneChunk(uint32_t i) override;

    // Appends a skinned chunk of another instance (`source`, its chunk number `sourceChunk`).
    virtual bool AddSkinnedChunk(Orvo::GeometryChunk* chunk, Orvo::Material* material,
                                 const VelmarInfluenceMesh* source, uint32_t sourceChunk);
    // Appends the geometry of a skinned chunk of another instance to chunk i.
    virtual bool MergeSkinnedChunk(Orvo::GeometryChunk* chunk, uint32_t i, const VelmarInfluenceMesh* source,
                                   uint32_t sourceChunk);

    // The spot light (kind 2) of `lights` with the largest diffuse r + g + b, the first winning ties; null
    // when there is none.
    static const Orvo::DisplayLight* StrongestLight(const Orvo::LightList* lights);

    // Rewrites the palette bytes of the vertices from `firstVertex` on: a byte b becomes remap[b / 3] x 3
    // while b / 3 names an entry of `remap`; the first byte that does not ends that vertex. False when the
    // chunk has no palette bytes or a slot would not fit a byte.
    static bool RewritePaletteBytes(Orvo::GeometryChunk& chunk, uint32_t firstVertex,
                                    const std::vector<uint32_t>& remap);

protected:
    void InitInstance(const VelmarIndexedMeshInstance& source) override;
    // Clones every chunk without flag 0x40 (with its own vertex data when software skinning writes it).
    void MakeSkinnedChunksOwn(bool software);
    // The slots in `into` of this instance's bones for a palette of `source`'s bones; false when a bone is
    // missing here. `reset` empties the palette of `into` first.
    bool RemapPalette(std::vector<const Orvo::Particle*> palette, Orvo::GeometryChunk& into,
                      const VelmarInfluenceMesh& source, bool reset, std::vector<uint32_t>& remap) const;
    // Adds the influences `source` has for its chunk `sourceChunk` to this instance's bones, for chunk
    // `target` with vertex numbers moved by `offset`; false (nothing added) when a bone is missing here.
    bool AddInfluences(const VelmarInfluenceMesh& source, uint32_t sourceChunk, uint32_t target, uint32_t offset,
                       uint32_t targetVertices);
    // Appends a chunk and its material (the arrays grow by one).
    void AppendChunk(Orvo::GeometryChunk* chunk, Orvo::Material* material);
};

// The skinned instance of a progressive mesh: always skinned in software, every instance owns its index
// arrays, and no chunks are added or merged.
class VelmarDynamicProgressiveMeshInstance : public VelmarDynamicIndexedMeshInstance
{
public:
    static constexpr uint32_t kTypeId = 20;
    using VelmarDynamicIndexedMeshInstance::VelmarDynamicIndexedMeshInstance;

    uint32_t GetID() const override { return kTypeId; }
    Orvo::Particle* CreateInstance() const override;
    bool AddChunk(Orvo::GeometryChunk*, Orvo::Material*) override { return false; }
    bool MergeChunk(Orvo::GeometryChunk&, uint32_t) override { return false; }

protected:
    void InitInstance(const VelmarIndexedMeshInstance& source) override;
};
