#include "render/VelmarInfluenceMesh.h"

#include "engine/Particle.h"
#include "engine/ScaledBone.h"
#include "engine/Transformation.h"
#include "render/VelmarIndexedMeshLODDefinition.h"

#include <cmath>
#include <cstring>
#include <utility>

using namespace Orvo;

namespace {

// The influences of `groups` that name a chunk of the set and a vertex of that chunk.
std::vector<VelmarInfluenceMesh::Group> KeptGroups(const std::vector<InfluenceGroup>& groups, uint32_t count,
                                                   const ChunkArray& chunks)
{
    std::vector<VelmarInfluenceMesh::Group> kept;
    for (const InfluenceGroup& g : groups)
    {
        if (g.chunk >= count || g.chunk >= chunks.Count() || !chunks[g.chunk]) continue;
        const uint32_t vertices = chunks[g.chunk]->GetNumVertices();
        VelmarInfluenceMesh::Group group;
        group.chunk = g.chunk;
        for (const InfluenceEntry& e : g.entries)
            if (e.vertex < vertices)
                group.influences.push_back({e.vertex, e.weight, Vector3(e.extra[0], e.extra[1], e.extra[2])});
        if (!group.influences.empty()) kept.push_back(std::move(group));
    }
    return kept;
}

// The inverse of a bone matrix (Gauss-Jordan with partial pivoting, in double precision); the identity
// for a matrix that has none.
Matrix4 Inverse(const Matrix4& m)
{
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
        {
            a[r][c] = m.m[r][c];
            a[r][c + 4] = r == c ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col)
    {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (!(std::fabs(a[pivot][col]) > 1e-30)) return Matrix4();  // singular, or not a number
        if (pivot != col)
            for (int c = 0; c < 8; ++c) std::swap(a[pivot][c], a[col][c]);
        const double scale = 1.0 / a[col][col];
        for (int c = 0; c < 8; ++c) a[col][c] *= scale;
        for (int r = 0; r < 4; ++r)
        {
            if (r == col || a[r][col] == 0.0) continue;
            const double f = a[r][col];
            for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
        }
    }
    Matrix4 out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out.m[r][c] = float(a[r][c + 4]);
    return out;
}

// The scale of a bone particle of type 23 whose scale is not disabled; null for every other particle.
const Vector3* BoneScale(const Particle* particle)
{
    if (particle == nullptr || particle->GetID() != ScaledBone::kTypeId) return nullptr;
    const auto* bone = dynamic_cast<const ScaledBone*>(particle);
    return bone && bone->GetScaleDisabled() == 0 ? &bone->GetScale() : nullptr;
}

Matrix4 BoneMatrix(const Quaternion& q, const Vector3& p, const Matrix4& parent)
{
    Matrix4 translated = parent;
    translated.Translate(p.x, p.y, p.z);
    Matrix4 rotation;
    rotation.SetRotation(q.x, q.y, q.z, q.w);
    return rotation * translated;
}

}  // namespace

VelmarInfluenceMesh::VelmarInfluenceMesh(const VelmarInfluenceMesh& other) { *this = other; }

VelmarInfluenceMesh& VelmarInfluenceMesh::operator=(const VelmarInfluenceMesh& other)
{
    if (this == &other) return *this;
    bones_ = other.bones_;
    for (Bone& b : bones_) b.particle = nullptr;
    root_ = other.root_;
    skeleton_ = nullptr;
    tokens_.assign(other.tokens_.size(), 0);
    updates_ = 0;
    return *this;
}

int VelmarInfluenceMesh::FindBone(const PString& name) const
{
    for (size_t i = 0; i < bones_.size(); ++i)
        if (bones_[i].name == name) return int(i);
    return -1;
}

bool VelmarInfluenceMesh::IsHardwareSet(uint32_t set) const
{
    return !bones_.empty() && set < bones_[0].entries.size() && bones_[0].entries[set].hardware;
}

void VelmarInfluenceMesh::LinkHierarchy()
{
    root_ = -1;
    for (Bone& b : bones_) b.children.clear();
    for (size_t i = 0; i < bones_.size(); ++i)
    {
        if (bones_[i].parentName.empty())
        {
            root_ = int32_t(i);
            continue;
        }
        for (size_t j = 0; j < bones_.size(); ++j)
            if (j != i && bones_[j].name == bones_[i].parentName)
            {
                bones_[j].children.push_back(uint32_t(i));
                break;
            }
        // A bone whose parent names no bone is neither root nor child: it is left out.
    }
}

std::vector<std::pair<uint32_t, int32_t>> VelmarInfluenceMesh::WalkOrder() const
{
    std::vector<std::pair<uint32_t, int32_t>> order;
    if (root_ < 0) return order;
    std::vector<bool> seen(bones_.size(), false);
    std::vector<std::pair<uint32_t, int32_t>> pending{{uint32_t(root_), -1}};
    while (!pending.empty())
    {
        const auto [bone, parent] = pending.back();
        pending.pop_back();
        if (seen[bone]) continue;  // (a bone is only ever linked once; this keeps a damaged table finite)
        seen[bone] = true;
        order.emplace_back(bone, parent);
        const std::vector<uint32_t>& children = bones_[bone].children;
        for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, int32_t(bone));
    }
    return order;
}

void VelmarInfluenceMesh::LocalFrame(const Bone& bone, Quaternion& orientation, Vector3& position) const
{
    if (bone.particle)
    {
        orientation = bone.particle->GetLocal().orientation;
        position = bone.particle->GetLocal().position;
    }
    else
    {
        orientation = bone.defaultOrientation;
        position = bone.defaultPosition;
    }
}

void VelmarInfluenceMesh::SetupSingleChunk(const std::vector<InfluenceDefinition>& bones, bool hardware, uint32_t count,
                                           const ChunkArray& chunks)
{
    bones_.clear();
    bones_.resize(bones.size());
    for (size_t i = 0; i < bones.size(); ++i)
    {
        Bone& b = bones_[i];
        b.name = bones[i].name;
        b.parentName = bones[i].parentName;
        b.defaultPosition = bones[i].position;
        b.defaultOrientation = Quaternion(bones[i].orientation);
        b.entries.resize(1);
        b.entries[0].hardware = hardware;
        b.entries[0].groups = KeptGroups(bones[i].groups, count, chunks);
    }
    tokens_.assign(1, 0);
    LinkHierarchy();
    if (hardware) AssignInfluenceMatrices(count, chunks);
}

void VelmarInfluenceMesh::SetupFromBones(const std::vector<LODBone>& bones, const std::vector<MeshChunkGroup>& levels)
{
    bones_.clear();
    bones_.resize(bones.size());
    for (size_t i = 0; i < bones.size(); ++i)
    {
        Bone& b = bones_[i];
        b.name = bones[i].name;
        b.parentName = bones[i].parentName;
        b.defaultPosition = bones[i].position;
        b.defaultOrientation = Quaternion(bones[i].orientation);
        b.entries.resize(levels.size());
        for (size_t l = 0; l < levels.size(); ++l)
        {
            b.entries[l].hardware = levels[l].skinning;
            if (l < bones[i].levels.size())
                b.entries[l].groups = KeptGroups(bones[i].levels[l], levels[l].chunkCount, levels[l].chunks);
        }
    }
    tokens_.assign(levels.size(), 0);
    LinkHierarchy();
    for (const MeshChunkGroup& level : levels)
        if (level.skinning) AssignInfluenceMatrices(level.chunkCount, level.chunks);
}

void VelmarInfluenceMesh::AssignInfluenceMatrices(GeometryChunk& chunk) const
{
    const std::vector<const Particle*>& palette = chunk.GetInfluencePalette();
    for (uint32_t slot = 0; slot < palette.size(); ++slot)
    {
        const int bone = palette[slot] ? FindBone(palette[slot]->GetName()) : -1;
        chunk.AssignInfluenceMatrix(slot, bone >= 0 ? &bones_[size_t(bone)].current : nullptr);
    }
}

void VelmarInfluenceMesh::AssignInfluenceMatrices(uint32_t count, const ChunkArray& chunks) const
{
    for (uint32_t c = 0; c < count && c < chunks.Count(); ++c)
        if (chunks[c]) AssignInfluenceMatrices(*chunks[c]);
}

void VelmarInfluenceMesh::Bind(Particle* skeleton)
{
    skeleton_ = skeleton;
    for (Bone& b : bones_)
        b.particle = skeleton == nullptr             ? nullptr
                     : skeleton->GetName() == b.name ? skeleton
                                                     : skeleton->FindByName(b.name);
    std::vector<Matrix4> global(bones_.size());
    for (const auto& [bone, parent] : WalkOrder())
    {
        Bone& b = bones_[bone];
        Quaternion q;
        Vector3 p;
        LocalFrame(b, q, p);
        global[bone] = BoneMatrix(q, p, parent >= 0 ? global[size_t(parent)] : Matrix4());
        b.current = global[bone];
        if (b.particle) b.inverseBind = Inverse(global[bone]);
    }
}

void VelmarInfluenceMesh::ClearChunks(uint32_t count, const ChunkArray& chunks, uint32_t set)
{
    if (bones_.empty() || set >= bones_[0].entries.size() || IsHardwareSet(set)) return;
    for (const Bone& b : bones_)
    {
        if (set >= b.entries.size()) continue;
        for (const Group& g : b.entries[set].groups)
        {
            GeometryChunk* chunk = g.chunk < count && g.chunk < chunks.Count() ? chunks[g.chunk].Get() : nullptr;
            const VertexItemPtr p = chunk ? chunk->GetVector3Array(ItemPosition) : VertexItemPtr();
            if (!p) continue;
            for (const Influence& i : g.influences)
                if (i.vertex < chunk->GetNumVertices()) std::memset(p.address + size_t(i.vertex) * p.stride, 0, 12);
        }
    }
}

void VelmarInfluenceMesh::UpdateChunk(uint32_t count, const ChunkArray& chunks, uint32_t token, uint32_t set)
{
    if (set >= tokens_.size() || bones_.empty()) return;
    if (token != 0 && tokens_[set] == token) return;
    tokens_[set] = token;
    ++updates_;
    ClearChunks(count, chunks, set);
    const std::vector<std::pair<uint32_t, int32_t>> order = WalkOrder();
    if (IsHardwareSet(set))
    {
        std::vector<Matrix4> global(bones_.size());
        for (const auto& [bone, parent] : order)
        {
            Bone& b = bones_[bone];
            Quaternion q;
            Vector3 p;
            LocalFrame(b, q, p);
            global[bone] = BoneMatrix(q, p, parent >= 0 ? global[size_t(parent)] : Matrix4());
            // The children take the unscaled frame; the bone's own axes are scaled.
            Matrix4 scaled = global[bone];
            if (const Vector3* scale = BoneScale(b.particle))
                for (int r = 0; r < 3; ++r)
                    for (int c = 0; c < 4; ++c) scaled.m[r][c] *= (*scale)[r];
            b.current = b.inverseBind * scaled;
        }
        return;
    }
    std::vector<Transformation> frames(bones_.size());
    for (const auto& [bone, parent] : order)
    {
        const Bone& b = bones_[bone];
        Transformation local;
        LocalFrame(b, local.orientation, local.position);
        frames[bone] = parent >= 0 ? local.Within(frames[size_t(parent)]) : local;
        if (set >= b.entries.size()) continue;
        // The frame's rotation rows, scaled by a scaled bone's scale (its own axes stretch, its children's
        // frames do not).
        Matrix3 rows = frames[bone].orientation.ToMatrix();
        if (const Vector3* scale = BoneScale(b.particle))
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) rows.m[r][c] *= (*scale)[r];
        const Vector3& origin = frames[bone].position;
        for (const Group& g : b.entries[set].groups)
        {
            GeometryChunk* chunk = g.chunk < count && g.chunk < chunks.Count() ? chunks[g.chunk].Get() : nullptr;
            const VertexItemPtr p = chunk ? chunk->GetVector3Array(ItemPosition) : VertexItemPtr();
            if (!p) continue;
            for (const Influence& i : g.influences)
            {
                if (i.vertex >= chunk->GetNumVertices()) continue;
                float* at = reinterpret_cast<float*>(p.address + size_t(i.vertex) * p.stride);
                const Vector3 moved = (rows.Transform(i.offset) + origin) * i.weight;
                at[0] += moved.x;
                at[1] += moved.y;
                at[2] += moved.z;
            }
            chunk->SetVertexDataDirty(true);
        }
    }
}
