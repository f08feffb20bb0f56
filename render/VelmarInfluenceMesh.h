#pragma once
// Bone skinning of a dynamic mesh instance. Each bone follows a particle of the instance's skeleton,
// found by name; a bone without one keeps the position and orientation the mesh gives it. The bones'
// influences are kept per chunk set: one set for an indexed mesh (its groups name the chunks), one set per
// level for a LOD mesh. A set is skinned one of two ways:
//   hardware: every palette slot of every chunk of the set holds the address of its bone's skinning
//             matrix (inverse bind pose, then the bone's current frame); an update only recomputes the
//             matrices in place;
//   software: the positions of the influenced vertices are rebuilt as the weighted sum of each bone's
//             frame applied to the vertex's offset in that bone's space. Vertices no bone influences, and
//             chunks no bone influences, keep their positions.
// A bone whose particle is a scaled bone (Orvo::ScaledBone, type 23) with its scale enabled scales the
// vertices it weighs along its own axes, on both paths; its children follow the unscaled bone.
//
// An update of a set happens once per token (the frame number): the same non-zero token again does
// nothing, token 0 always updates.
//
// Influences naming a chunk the set does not have, or a vertex beyond their chunk, are dropped when the
// bones are set up; nothing is ever sized from a vertex number.
#include "engine/InfluenceDefinition.h"
#include "engine/Matrix3.h"
#include "engine/PString.h"
#include "engine/Quaternion.h"
#include "engine/Vector.h"
#include "render/MeshChunkGroup.h"
#include "render/VelmarIndexedMeshDefinition.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace Orvo {
class Particle;
}
struct LODBone;

class VelmarInfluenceMesh
{
public:
    struct Influence
    {
        uint32_t vertex = 0;
        float weight = 0.0f;
        Orvo::Vector3 offset;  // the vertex in the bone's space
    };
    struct Group
    {
        uint32_t chunk = 0;
        std::vector<Influence> influences;
    };
    struct ChunkEntry
    {
        bool hardware = false;
        std::vector<Group> groups;
    };
    struct Bone
    {
        Orvo::PString name;
        Orvo::PString parentName;
        Orvo::Matrix4 current;      // the bind pose after binding; the skinning matrix after a hardware update
        Orvo::Matrix4 inverseBind;  // identity until bound to a particle
        Orvo::Particle* particle = nullptr;
        std::vector<ChunkEntry> entries;  // one per chunk set
        Orvo::Quaternion defaultOrientation;
        Orvo::Vector3 defaultPosition;
        std::vector<uint32_t> children;  // bone numbers
    };

    VelmarInfluenceMesh() = default;
    virtual ~VelmarInfluenceMesh() = default;
    // A copy of the bone records, their influences and hierarchy, with fresh tokens, bound to nothing.
    VelmarInfluenceMesh(const VelmarInfluenceMesh& other);
    VelmarInfluenceMesh& operator=(const VelmarInfluenceMesh& other);

    // Finds each bone's particle in `skeleton` and works out the bind pose.
    virtual void Bind(Orvo::Particle* skeleton);
    // Zeroes the positions the software influences of set `set` rebuild (a hardware set: nothing).
    virtual void ClearChunks(uint32_t count, const ChunkArray& chunks, uint32_t set);
    // Brings set `set` (drawn with `chunks`) up to date for `token`.
    virtual void UpdateChunk(uint32_t count, const ChunkArray& chunks, uint32_t token, uint32_t set);
    // The bones of a LOD mesh: one set per level, hardware as the level says.
    virtual void SetupFromBones(const std::vector<LODBone>& bones, const std::vector<MeshChunkGroup>& levels);
    // The bones of an indexed mesh: one set over `chunks`.
    virtual void SetupSingleChunk(const std::vector<Orvo::InfluenceDefinition>& bones, bool hardware, uint32_t count,
                                  const ChunkArray& chunks);
    // The bone without a parent (the last in order when several have none), or null.
    virtual const Bone* GetRootBone() const { return root_ >= 0 ? &bones_[size_t(root_)] : nullptr; }

    // Points every palette slot of every chunk at the skinning matrix of the bone its particle names.
    void AssignInfluenceMatrices(uint32_t count, const ChunkArray& chunks) const;
    void AssignInfluenceMatrices(Orvo::GeometryChunk& chunk) const;

    const std::vector<Bone>& GetBones() const { return bones_; }
    std::vector<Bone>& Bones() { return bones_; }
    // The bone of that name, -1 when there is none.
    int FindBone(const Orvo::PString& name) const;
    Orvo::Particle* GetBoundSkeleton() const { return skeleton_; }
    size_t GetSetCount() const { return tokens_.size(); }
    bool IsHardwareSet(uint32_t set) const;
    // How many updates really happened (not skipped for an unchanged token).
    uint64_t GetUpdateCount() const { return updates_; }

protected:
    // Links the bones by their parent names and picks the root.
    void LinkHierarchy();
    // The bones from the root down, parents before children: (bone, its parent bone or -1).
    std::vector<std::pair<uint32_t, int32_t>> WalkOrder() const;
    void LocalFrame(const Bone& bone, Orvo::Quaternion& orientation, Orvo::Vector3& position) const;

    std::vector<Bone> bones_;
    int32_t root_ = -1;
    Orvo::Particle* skeleton_ = nullptr;
    std::vector<uint32_t> tokens_;  // one per chunk set
    uint64_t updates_ = 0;
};
