// VelmarIndexedMeshLODDefinition: what both its loads end with, its bones and influences.
#include "engine/Particle.h"
#include "render/VelmarIndexedMeshLODDefinition.h"

#include <algorithm>
#include <cstring>

using namespace Orvo;

VelmarIndexedMeshLODDefinition::VelmarIndexedMeshLODDefinition(const MeshOptions& options)
    : VelmarIndexedMeshDefinition(options)
{}

VelmarIndexedMeshLODDefinition::~VelmarIndexedMeshLODDefinition() = default;

void VelmarIndexedMeshLODDefinition::FinishOwnedLevels(VelmarGeometryBaseResource* resource)
{
    for (auto& level : ownedLevels_) level->FinishMaterials(resource);
    ownedLevels_.clear();
}

void VelmarIndexedMeshLODDefinition::AddLevelInfluences(const std::vector<InfluenceDefinition>& influences)
{
    for (LODBone& bone : bones_)
    {
        std::vector<InfluenceGroup> groups;
        for (const InfluenceDefinition& d : influences)
            if (d.name == bone.name)
            {
                groups = d.groups;
                break;
            }
        bone.levels.push_back(std::move(groups));
    }
}

void VelmarIndexedMeshLODDefinition::BuildBoneHierarchy()
{
    if (bones_.empty()) return;
    std::vector<ParticleBone*> particles;
    ParticleBone* root = nullptr;
    for (LODBone& b : bones_)
    {
        auto* p = new ParticleBone();
        p->SetName(b.name);
        p->SetFramePosition(b.position);
        p->SetFrameOrientation(Quaternion(b.orientation));
        p->SetBoundingBox(AxisBox(Vector3(-0.01f, -0.01f, -0.01f), Vector3(0.01f, 0.01f, 0.01f)), true);
        particles.push_back(p);
        if (b.parentName.empty())
        {
            if (root == nullptr)
                root = p;
            else
                b.parentName = root->GetName();
        }
    }
    if (root == nullptr)
    {
        for (ParticleBone* p : particles) delete p;
        return;
    }
    for (size_t i = 0; i < bones_.size(); ++i)
    {
        if (particles[i] == root) continue;
        ParticleBone* parent = nullptr;
        for (ParticleBone* p : particles)
            if (p->GetName() == bones_[i].parentName)
            {
                parent = p;
                break;
            }
        bool cycle = false;
        for (const Particle* q = parent; q != nullptr; q = q->GetParent())
            if (q == particles[i]) cycle = true;
        if (parent == nullptr || cycle)
        {
            if (parent == nullptr) bones_[i].parentName = root->GetName();
            parent = root;
        }
        parent->AddChild(particles[i]);
    }
    SetSkeleton(root);
    boneParticles_ = particles;
}

void VelmarIndexedMeshLODDefinition::ApplyInfluences()
{
    // Influences held per vertex of each chunk of each level.
    std::vector<std::vector<std::vector<uint8_t>>> placed(levels_.size());
    for (size_t l = 0; l < levels_.size(); ++l) placed[l].resize(levels_[l].chunks.Count());
    for (size_t b = 0; b < bones_.size(); ++b)
    {
        const Particle* bone = b < boneParticles_.size() ? boneParticles_[b] : nullptr;
        for (size_t l = 0; l < bones_[b].levels.size() && l < levels_.size(); ++l)
            for (const InfluenceGroup& g : bones_[b].levels[l])
            {
                const MeshChunkGroup& level = levels_[l];
                if (g.chunk < level.chunks.Count() && level.chunks[g.chunk])
                    ApplyGroup(*level.chunks[g.chunk], bone, g, placed[l][g.chunk]);
            }
    }
}

void VelmarIndexedMeshLODDefinition::TakeCullNames()
{
    cullList_.clear();
    for (AttachmentRecord& a : attachments_)
    {
        const int at = a.name.FindNoCase(":Cull");
        if (at < 0) continue;
        std::string name(a.name.View());
        name.erase(size_t(at), 5);
        a.name = PString(name);
        cullList_.push_back(a.name);
    }
}

void VelmarIndexedMeshLODDefinition::SelectLastSwitchLevel()
{
    if (switchDistances_.empty() || switchDistances_.size() > levels_.size()) return;
    const MeshChunkGroup& level = levels_[switchDistances_.size() - 1];
    chunkCount_ = level.chunkCount;
    totalVertices_ = level.vertexCount;
    totalFaces_ = level.faceCount;
    chunks_ = level.chunks;
    materials_ = level.materials;
    chunkNames_ = level.chunkNames;
    hardwareSkinning_ = level.skinning;
}

void VelmarIndexedMeshLODDefinition::FinishBinaryLoad()
{
    std::string name = file_.Name();
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    name_ = PString(name);
    BuildBoneHierarchy();
    ApplyInfluences();
    const MeshChunkGroup& last = levels_[switchDistances_.size() - 1];
    ComputeBounds(last.chunks, last.chunkCount);
    BuildOrientedBox(last.chunks, last.chunkCount);
    TakeCullNames();
    SelectLastSwitchLevel();
}

void VelmarIndexedMeshLODDefinition::CountInfluences(uint32_t levelIndex, uint32_t chunk, uint32_t& perVertex,
                                                     uint32_t& bones) const
{
    perVertex = 0;
    bones = 0;
    if (levelIndex >= levels_.size() || chunk >= levels_[levelIndex].chunks.Count()) return;
    std::vector<uint32_t> counts(levels_[levelIndex].chunks[chunk]->GetNumVertices());
    for (const LODBone& b : bones_)
    {
        if (levelIndex >= b.levels.size()) continue;
        bool has = false;
        for (const InfluenceGroup& g : b.levels[levelIndex])
        {
            if (g.chunk != chunk) continue;
            has = true;
            for (const InfluenceEntry& e : g.entries)
                if (e.vertex < counts.size()) perVertex = std::max(perVertex, ++counts[e.vertex]);
        }
        if (has) ++bones;
    }
}

size_t VelmarIndexedMeshLODDefinition::GetLODMemorySize() const
{
    size_t size = 4 * (75 * bones_.size() + 13 * attachments_.size() + switchDistances_.capacity()) +
                  12 * attachmentMeshes_.size() + 40 * levels_.size();
    for (const MeshChunkGroup& level : levels_)
        for (uint32_t c = 0; c < level.chunks.Count(); ++c)
            if (const GeometryChunk* chunk = level.chunks[c].Get())
                size += size_t(chunk->GetNumVertices()) * chunk->GetVertexSize() + 2 * size_t(chunk->GetNumIndices());
    if (!bones_.empty())
    {
        size += 68 + 4 * bones_[0].levels.size();
        for (const std::vector<InfluenceGroup>& groups : bones_[0].levels)
        {
            size += 8 + 12 * groups.size();
            for (const InfluenceGroup& g : groups) size += 20 * g.entries.size();
        }
    }
    return size;
}

void VelmarIndexedMeshLODDefinition::MergeEqualLevelMaterials()
{
    for (size_t l = 1; l < levels_.size(); ++l)
        for (uint32_t c = 0; c < levels_[l].materials.Count(); ++c)
        {
            Material* mine = levels_[l].materials[c].Get();
            if (mine == nullptr) continue;
            Material* found = nullptr;
            for (size_t e = 0; e < l && found == nullptr; ++e)
                for (uint32_t k = 0; k < levels_[e].materials.Count() && found == nullptr; ++k)
                {
                    Material* earlier = levels_[e].materials[k].Get();
                    if (earlier && earlier->GetType() == mine->GetType() && earlier->IsEqual(*mine)) found = earlier;
                }
            if (found && found != mine) levels_[l].materials[c] = found;
        }
}
