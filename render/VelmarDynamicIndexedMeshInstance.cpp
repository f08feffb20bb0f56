#include "render/VelmarDynamicIndexedMeshInstance.h"

#include "engine/Display.h"
#include "render/BrightestLight.h"

using namespace Orvo;

VelmarDynamicIndexedMeshInstance::VelmarDynamicIndexedMeshInstance(VelmarIndexedMeshDefinition* definition)
    : VelmarIndexedMeshInstance(definition)
{}

void VelmarDynamicIndexedMeshInstance::MakeSkinnedChunksOwn(bool software)
{
    // The chunks whose positions software skinning writes: those the bones' influences name (before the
    // bones are set up, those the definition's influences name).
    std::vector<bool> written(chunkCount_, false);
    if (software && !GetBones().empty())
    {
        for (const Bone& b : GetBones())
            for (const ChunkEntry& e : b.entries)
                for (const Group& g : e.groups)
                    if (g.chunk < written.size()) written[g.chunk] = true;
    }
    else if (software && definition_)
        for (const InfluenceDefinition& d : definition_->GetInfluences())
            for (const InfluenceGroup& g : d.groups)
                if (g.chunk < written.size()) written[g.chunk] = true;
    MakeChunksUnique();
    for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count(); ++i)
    {
        if (!chunks_[i] || (chunks_[i]->GetFlags() & GeometryChunk::FlagNoInfluences)) continue;
        CloneChunk(i);
        if (written[i]) chunks_[i]->DuplicateVertexArray(display_);
    }
    if (!software) AssignInfluenceMatrices(chunkCount_, chunks_);
}

void VelmarDynamicIndexedMeshInstance::SetupSkinning()
{
    if (definition_ == nullptr) return;
    const bool hardware = definition_->IsHardwareSkinned();
    MakeSkinnedChunksOwn(!hardware);  // first, so that the matrices go to this instance's chunks
    SetupSingleChunk(definition_->GetInfluences(), hardware, chunkCount_, chunks_);
    Bind(AdoptSkeleton(definition_->GetSkeletonRoot()));
}

Particle* VelmarDynamicIndexedMeshInstance::CreateInstance() const
{
    auto* copy = new VelmarDynamicIndexedMeshInstance(definition_);
    copy->InitInstance(*this);
    return copy;
}

void VelmarDynamicIndexedMeshInstance::InitInstance(const VelmarIndexedMeshInstance& source)
{
    VelmarIndexedMeshInstance::InitInstance(source);
    const auto* dynamic = dynamic_cast<const VelmarDynamicIndexedMeshInstance*>(&source);
    if (dynamic == nullptr) return;
    VelmarInfluenceMesh::operator=(*dynamic);
    const Bone* root = GetRootBone();
    Bind(root ? FindByName(root->name) : nullptr);
    MakeSkinnedChunksOwn(!IsHardwareSet(0));
}

void VelmarDynamicIndexedMeshInstance::Render(Display* display, ViewPort& viewport, Matrix4& matrix)
{
    UpdateChunk(chunkCount_, chunks_, display ? display->GetCurrentFrame() : viewport.frame, 0);
    VelmarIndexedMeshInstance::Render(display, viewport, matrix);
}

void VelmarDynamicIndexedMeshInstance::RenderGeometry(Display* display, ViewPort& viewport, const Matrix4& matrix,
                                                      bool lit)
{
    UpdateChunk(chunkCount_, chunks_, display ? display->GetCurrentFrame() : viewport.frame, 0);
    VelmarIndexedMeshInstance::RenderGeometry(display, viewport, matrix, lit);
}

const DisplayLight* VelmarDynamicIndexedMeshInstance::StrongestLight(const LightList* lights)
{
    return ChooseBrightestLight(lights, DisplayLight::Spot);
}

void VelmarDynamicIndexedMeshInstance::CloneChunk(uint32_t i)
{
    AutoReference<GeometryChunk> old(GetChunk(i));
    VelmarIndexedMeshInstance::CloneChunk(i);
    GeometryChunk* clone = GetChunk(i);
    if (!old || clone == nullptr || clone == old.Get()) return;
    for (uint32_t slot = 0; slot < old->GetInfluencePalette().size(); ++slot)
        if (const Matrix4* m = old->GetInfluenceMatrix(slot)) clone->AssignInfluenceMatrix(slot, m);
}

// ---- chunks from other skinned instances ----

bool VelmarDynamicIndexedMeshInstance::RewritePaletteBytes(GeometryChunk& chunk, uint32_t firstVertex,
                                                           const std::vector<uint32_t>& remap)
{
    const VertexItemPtr bytes = chunk.GetItem(ItemBlendIndices);
    if (!bytes) return false;
    for (uint32_t slot : remap)
        if (slot * 3 >= 254) return false;  // would not fit a byte beside the free-position mark
    for (uint32_t v = firstVertex; v < chunk.GetNumVertices(); ++v)
    {
        uint8_t* b = bytes.address + size_t(v) * bytes.stride;
        for (int k = 0; k < 4; ++k)
        {
            if (b[k] / 3u >= remap.size()) break;
            b[k] = uint8_t(remap[b[k] / 3u] * 3);
        }
    }
    return true;
}

bool VelmarDynamicIndexedMeshInstance::RemapPalette(std::vector<const Particle*> palette, GeometryChunk& into,
                                                    const VelmarInfluenceMesh& source, bool reset,
                                                    std::vector<uint32_t>& remap) const
{
    // This instance's bone particle for each palette entry (a bone of the source), by name.
    std::vector<const Particle*> mine;
    for (const Particle* p : palette)
    {
        const int sourceBone = p ? source.FindBone(p->GetName()) : -1;
        const int here = sourceBone >= 0 ? FindBone(source.GetBones()[size_t(sourceBone)].name) : -1;
        if (here < 0 || GetBones()[size_t(here)].particle == nullptr) return false;
        mine.push_back(GetBones()[size_t(here)].particle);
    }
    if (reset) into.ResetMatrixArray();
    remap.clear();
    for (const Particle* p : mine)
    {
        // A bone the palette already holds (under the same name) keeps its slot.
        const std::vector<const Particle*>& held = into.GetInfluencePalette();
        size_t slot = 0;
        while (slot < held.size() && !(held[slot] && held[slot]->GetName() == p->GetName())) ++slot;
        remap.push_back(slot < held.size() ? uint32_t(slot) : into.AddInfluenceMatrix(p));
    }
    return true;
}

bool VelmarDynamicIndexedMeshInstance::AddInfluences(const VelmarInfluenceMesh& source, uint32_t sourceChunk,
                                                     uint32_t target, uint32_t offset, uint32_t targetVertices)
{
    std::vector<std::pair<int, const Group*>> found;  // this instance's bone, the source group
    for (const Bone& b : source.GetBones())
    {
        if (b.entries.empty()) continue;
        for (const Group& g : b.entries[0].groups)
            if (g.chunk == sourceChunk)
            {
                const int here = FindBone(b.name);
                if (here < 0) return false;
                found.emplace_back(here, &g);
                break;
            }
    }
    for (const auto& [here, group] : found)
    {
        Bone& bone = Bones()[size_t(here)];
        if (bone.entries.empty()) continue;
        Group* into = nullptr;
        for (Group& g : bone.entries[0].groups)
            if (g.chunk == target) into = &g;
        if (into == nullptr)
        {
            bone.entries[0].groups.push_back({target, {}});
            into = &bone.entries[0].groups.back();
        }
        for (const Influence& i : group->influences)
            if (uint64_t(i.vertex) + offset < targetVertices)
                into->influences.push_back({i.vertex + offset, i.weight, i.offset});
    }
    return true;
}

void VelmarDynamicIndexedMeshInstance::AppendChunk(GeometryChunk* chunk, Material* material)
{
    ChunkArray chunks;
    MaterialArray materials;
    chunks.Create(chunkCount_ + 1);
    materials.Create(chunkCount_ + 1);
    for (uint32_t i = 0; i < chunkCount_; ++i)
    {
        chunks.Append(i < chunks_.Count() ? chunks_[i] : AutoReference<GeometryChunk>());
        materials.Append(i < materials_.Count() ? materials_[i] : AutoReference<Material>());
    }
    chunks.Append(AutoReference<GeometryChunk>(chunk));
    materials.Append(AutoReference<Material>(material));
    chunks_ = std::move(chunks);
    materials_ = std::move(materials);
    ++chunkCount_;
}

bool VelmarDynamicIndexedMeshInstance::AddSkinnedChunk(GeometryChunk* chunk, Material* material,
                                                       const VelmarInfluenceMesh* source, uint32_t sourceChunk)
{
    if (chunk == nullptr || material == nullptr || source == nullptr || chunkCount_ == 0 || !GetChunk(0)) return false;
    const bool palette = !chunk->GetInfluencePalette().empty();
    const bool noInfluences = (chunk->GetFlags() & GeometryChunk::FlagNoInfluences) != 0;
    const bool firstUsesPalette = (GetChunk(0)->GetFlags() & GeometryChunk::FlagNoInfluences) == 0;
    if (palette == noInfluences || palette != firstUsesPalette) return false;
    AutoReference<GeometryChunk> clone(chunk->CreateInstance());
    if (!clone || !clone->DuplicateUnsharedArrays(display_)) return false;
    if (!palette)
    {
        if (!AddInfluences(*source, sourceChunk, chunkCount_, 0, clone->GetNumVertices())) return false;
    }
    else
    {
        std::vector<uint32_t> remap;
        if (!clone->GetItem(ItemBlendIndices) ||
            !RemapPalette(clone->GetInfluencePalette(), *clone, *source, true, remap) ||
            !RewritePaletteBytes(*clone, 0, remap))
            return false;
        clone->SetVertexDataDirty(true);
    }
    AppendChunk(clone.Get(), material);
    if (palette) AssignInfluenceMatrices(*clone);
    return true;
}

bool VelmarDynamicIndexedMeshInstance::MergeSkinnedChunk(GeometryChunk* chunk, uint32_t i,
                                                         const VelmarInfluenceMesh* source, uint32_t sourceChunk)
{
    if (chunk == nullptr || source == nullptr || i >= chunkCount_ || !GetChunk(i) || !GetChunk(0)) return false;
    GeometryChunk& target = *GetChunk(i);
    if ((chunk->GetFlags() & 4) == 0 || (target.GetFlags() & 4) == 0) return false;
    if (chunk->GetNumPasses() != 1 || target.GetNumPasses() != 1) return false;
    const VertexType* a = chunk->GetVertexType(0);
    const VertexType* b = target.GetVertexType(0);
    if (a == nullptr || b == nullptr || !(*a == *b)) return false;
    const bool palette = !chunk->GetInfluencePalette().empty();
    const bool noInfluences = (chunk->GetFlags() & GeometryChunk::FlagNoInfluences) != 0;
    const bool firstUsesPalette = (GetChunk(0)->GetFlags() & GeometryChunk::FlagNoInfluences) == 0;
    if (palette == noInfluences || palette != firstUsesPalette) return false;

    AutoReference<GeometryChunk> merged(target.CreateInstance());
    if (!merged) return false;
    const uint32_t before = merged->GetNumVertices();
    if (!merged->AppendChunk(display_, *chunk)) return false;
    if (!palette)
    {
        if (!AddInfluences(*source, sourceChunk, i, before, merged->GetNumVertices())) return false;
    }
    else
    {
        // The palette may hold as many matrices as a hardware-skinned chunk of this mesh may.
        const uint32_t capacity = definition_ ? definition_->GetBoneLimit() : 0;
        // The appended vertices carry the given chunk's palette bytes: map them to slots of the merged
        // palette, which keeps the target's own slots first.
        std::vector<uint32_t> slots;
        if (capacity == 0 || !RemapPalette(chunk->GetInfluencePalette(), *merged, *source, false, slots)) return false;
        if (merged->GetInfluencePalette().size() > capacity) return false;
        if (!RewritePaletteBytes(*merged, before, slots)) return false;
        merged->SetVertexDataDirty(true);
    }
    MakeChunksUnique();
    chunks_[i] = merged;
    if (palette) AssignInfluenceMatrices(*merged);
    return true;
}

// ---- the progressive form ----

Particle* VelmarDynamicProgressiveMeshInstance::CreateInstance() const
{
    auto* copy = new VelmarDynamicProgressiveMeshInstance(definition_);
    copy->InitInstance(*this);
    return copy;
}

void VelmarDynamicProgressiveMeshInstance::InitInstance(const VelmarIndexedMeshInstance& source)
{
    VelmarDynamicIndexedMeshInstance::InitInstance(source);
    // Every progressive instance owns its index arrays (the skinned chunks are this instance's already).
    for (uint32_t i = 0; i < chunkCount_; ++i)
    {
        if (GetChunk(i) && (GetChunk(i)->GetFlags() & GeometryChunk::FlagNoInfluences)) CloneChunk(i);
        if (GeometryChunk* chunk = GetChunk(i)) chunk->DuplicateIndexArray(display_);
    }
}
