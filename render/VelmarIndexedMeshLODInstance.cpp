#include "render/VelmarIndexedMeshLODInstance.h"

#include "engine/Display.h"

#include <algorithm>

using namespace Orvo;

VelmarIndexedMeshLODInstance::VelmarIndexedMeshLODInstance(VelmarIndexedMeshLODDefinition* definition)
    : VelmarIndexedMeshInstance(definition), lodDefinition_(definition)
{}

uint32_t VelmarIndexedMeshLODInstance::CollisionLevel() const
{
    static const PString collision("collision");
    for (const AttachmentMeshRecord& r : attachmentMeshes_)
        if (r.name == collision) return r.level;
    // Attachment-only levels follow the switch-distance levels: they are never chosen this way.
    return uint32_t(GetSwitchDistances().size()) - 1;
}

void VelmarIndexedMeshLODInstance::SetLODDefinition(VelmarIndexedMeshLODDefinition* definition)
{
    lodDefinition_ = definition;
    if (definition == nullptr) return;
    Init(definition->GetSwitchDistances(), ObjectLOD::CalcPoint(definition->GetCalcPoint()));
    SetMultiplier(definition->GetMultiplier());
    SetOffset(definition->GetOffset());
    attachmentMeshes_ = definition->GetAttachmentMeshes();
    renderCutOff_ = definition->GetRenderCutOff();
    attachmentCutOff_ = definition->GetAttachmentCutOff();
    levels_ = definition->GetLevels();
    for (MeshChunkGroup& level : levels_) level.boneParticles.clear();
    lightingDirty_.assign(levels_.size(), 1);
    TakeDefinition(definition);
    ClonePerInstanceLevelChunks();
    dirtyCount_ = uint32_t(levels_.size());
    SelectLOD(CollisionLevel());
    drawLevel_ = 0;
}

void VelmarIndexedMeshLODInstance::ClonePerInstanceLevelChunks()
{
    const uint32_t selected = selectedLevel_;
    for (uint32_t l = 0; l < levels_.size(); ++l)
    {
        SelectLOD(l);
        bool madeUnique = false;
        for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count(); ++i)
        {
            if (!chunks_[i] || (chunks_[i]->GetFlags() & GeometryChunk::FlagPerInstance) == 0) continue;
            if (!madeUnique)
            {
                MakeChunksUnique();
                madeUnique = true;
            }
            CloneChunk(i);
            chunks_[i]->DuplicateUnsharedArrays(display_);
        }
    }
    SelectLOD(selected);
}

void VelmarIndexedMeshLODInstance::BindLevelBones()
{
    const Particle* root = lodDefinition_ ? lodDefinition_->GetSkeletonRoot() : nullptr;
    if (root != nullptr)
        if (Particle* copy = AdoptSkeleton(root))
            for (MeshChunkGroup& level : levels_)
            {
                level.boneParticles.clear();
                for (uint32_t c = 0; c < level.chunkCount; ++c)
                {
                    const PString name = c < level.chunkNames.size() ? level.chunkNames[c] : PString();
                    level.boneParticles.push_back(name.empty()              ? nullptr
                                                  : name == copy->GetName() ? copy
                                                                            : copy->FindByName(name));
                }
            }
    FindCullAttachments();
}

void VelmarIndexedMeshLODInstance::FindCullAttachments()
{
    cullNames_ = lodDefinition_ ? lodDefinition_->GetCullList() : std::vector<PString>();
    cullAttachments_.clear();
    for (const PString& name : cullNames_) cullAttachments_.push_back(FindByName(name));
}

void VelmarIndexedMeshLODInstance::SelectLOD(uint32_t level)
{
    if (level >= levels_.size()) return;
    const MeshChunkGroup& record = levels_[level];
    chunkCount_ = record.chunkCount;
    if (!chunks_.SharesStorageWith(record.chunks)) chunks_ = record.chunks;
    if (!materials_.SharesStorageWith(record.materials)) materials_ = record.materials;
    selectedLevel_ = level;
}

void VelmarIndexedMeshLODInstance::LockLevel(uint32_t level)
{
    if (level < levels_.size()) drawLevel_ = level;
    levelLocked_ = true;
}

void VelmarIndexedMeshLODInstance::ShareIntoSelectedLevel()
{
    if (selectedLevel_ >= levels_.size()) return;
    levels_[selectedLevel_].chunks = chunks_;
    levels_[selectedLevel_].materials = materials_;
}

void VelmarIndexedMeshLODInstance::MakeChunksUnique()
{
    VelmarIndexedMeshInstance::MakeChunksUnique();
    ShareIntoSelectedLevel();
}

void VelmarIndexedMeshLODInstance::MakeMaterialsUnique()
{
    VelmarIndexedMeshInstance::MakeMaterialsUnique();
    ShareIntoSelectedLevel();
}

void VelmarIndexedMeshLODInstance::CloneChunk(uint32_t i)
{
    VelmarIndexedMeshInstance::CloneChunk(i);
    ShareIntoSelectedLevel();
}

void VelmarIndexedMeshLODInstance::CloneMaterial(uint32_t i)
{
    VelmarIndexedMeshInstance::CloneMaterial(i);
    ShareIntoSelectedLevel();
}

Particle* VelmarIndexedMeshLODInstance::CreateInstance() const
{
    auto* copy = new VelmarIndexedMeshLODInstance(lodDefinition_);
    copy->InitInstance(*this);
    return copy;
}

void VelmarIndexedMeshLODInstance::InitInstance(const VelmarIndexedMeshInstance& source)
{
    VelmarIndexedMeshInstance::InitInstance(source);
    const auto* lod = dynamic_cast<const VelmarIndexedMeshLODInstance*>(&source);
    if (lod == nullptr) return;
    ObjectLOD::InitInstance(*lod);
    lodDefinition_ = lod->lodDefinition_;
    attachmentMeshes_ = lod->attachmentMeshes_;
    levels_ = lod->levels_;
    drawLevel_ = lod->drawLevel_;
    levelLocked_ = lod->levelLocked_;
    lightingDirty_ = lod->lightingDirty_;
    dirtyCount_ = lod->dirtyCount_;
    renderCutOff_ = lod->renderCutOff_;
    attachmentCutOff_ = lod->attachmentCutOff_;
    cullNames_ = lod->cullNames_;
    selectedLevel_ = lod->selectedLevel_;
    // The bones and points of the copy are the copy's own.
    for (MeshChunkGroup& level : levels_)
        for (Particle*& bone : level.boneParticles)
            bone = bone && skeleton_ ? skeleton_->FindByName(bone->GetName()) : nullptr;
    cullAttachments_.clear();
    for (const PString& name : cullNames_) cullAttachments_.push_back(FindByName(name));
    ClonePerInstanceLevelChunks();
    SelectLOD(lod->selectedLevel_);
}

// ---- per frame ----

void VelmarIndexedMeshLODInstance::Cull(ViewPoint& viewPoint, const Matrix4& matrix)
{
    Sphere sphere = GetGlobalBoundingSphere();
    sphere.radius += 5.0f;
    const float measure = FindLOD(sphere, viewPoint.GetCamera());
    const bool beyond = attachmentCutOff_ < measure;
    for (Particle* p : cullAttachments_)
        if (p) p->SetFlags(uint8_t(beyond ? (p->GetFlags() | kFarBit) : (p->GetFlags() & ~kFarBit)));
    Particle::Cull(viewPoint, matrix);
    if (!(GetOpacity() > 0.0f)) SetLastCulledFrame(0);
    if (GetLastCulledFrame() != viewPoint.GetFrame()) return;
    if (!levelLocked_)
    {
        const uint32_t index = FindLODIndex(measure);
        if (index < levels_.size()) drawLevel_ = index;
    }
    if (!(renderCutOff_ <= GetCurrentMeasure())) return;  // not drawn this frame
    if (drawLevel_ < levels_.size())
    {
        const MeshChunkGroup& level = levels_[drawLevel_];
        for (uint32_t c = 0; c < level.chunkCount && c < level.chunks.Count(); ++c)
            if (level.chunks[c]) level.chunks[c]->InitializeBuffers(display_, false);
    }
    viewPoint.Add(this, matrix);
    StoreMatrix(viewPoint.GetViewPort(), matrix);
}

void VelmarIndexedMeshLODInstance::Render(Display* display, ViewPort& viewport, Matrix4& matrix)
{
    ApplyScale(matrix);
    MarkLightingIfLightsChanged();
    // The selector's level is lit (for a locked instance it may not be the one drawn; the lights gathered
    // are the instance's, whichever level gathered them).
    CalculateLevelLighting(display, viewport, matrix, GetCurrentIndex(), false);
    RenderLevel(display, viewport, matrix, drawLevel_);
}

void VelmarIndexedMeshLODInstance::RenderLevel(Display* display, ViewPort& viewport, const Matrix4& matrix,
                                               uint32_t index)
{
    if (index >= levels_.size()) return;
    const MeshChunkGroup& level = levels_[index];
    const uint32_t frame = display ? display->GetCurrentFrame() : viewport.frame;
    for (uint32_t c = 0; c < level.chunkCount && c < level.chunks.Count(); ++c)
    {
        GeometryChunk* chunk = level.chunks[c].Get();
        Material* material = c < level.materials.Count() ? level.materials[c].Get() : nullptr;
        if (chunk == nullptr || material == nullptr || chunk->GetElementCount() == 0) continue;
        if (!level.boneParticles.empty())
        {
            const Particle* bone = c < level.boneParticles.size() ? level.boneParticles[c] : nullptr;
            if (bone == nullptr || bone->GetLastCulledFrame() != frame) continue;
            material->CacheChunk(display, &viewport, chunk, GetDisplayLightList(), MatrixBelow(bone, matrix));
        }
        else
            material->CacheChunk(display, &viewport, chunk, GetDisplayLightList(), matrix);
    }
}

void VelmarIndexedMeshLODInstance::SetOpacity(float opacity)
{
    for (const MeshChunkGroup& level : levels_)
        for (uint32_t c = 0; c < level.chunks.Count(); ++c)
            if (level.chunks[c]) level.chunks[c]->SetOpacity(display_, opacity);
    Particle::SetOpacity(opacity);
}

// ---- lighting ----

void VelmarIndexedMeshLODInstance::CalculateLevelLighting(Display* display, ViewPort& viewport, const Matrix4& matrix,
                                                          uint32_t level, bool force)
{
    if (level >= levels_.size()) return;
    if (lightingDirty_[level])
    {
        lightingDirty_[level] = 0;
        CalculateLighting(display, viewport, matrix, levels_[level].chunkCount, levels_[level].chunks,
                          levels_[level].materials);
        if (dirtyCount_ > 0 && --dirtyCount_ == 0) LightTarget::SetUpdateLighting(false);
    }
    else if (force)
        CalculateLighting(display, viewport, matrix, levels_[level].chunkCount, levels_[level].chunks,
                          levels_[level].materials);
}

void VelmarIndexedMeshLODInstance::CalculateAllLighting(Display* display, ViewPort& viewport, const Matrix4& matrix,
                                                        bool force)
{
    for (uint32_t l = 0; l < levels_.size(); ++l) CalculateLevelLighting(display, viewport, matrix, l, force);
}

void VelmarIndexedMeshLODInstance::UpdateLighting(Display* display, ViewPort& viewport, const Matrix4& matrix,
                                                  bool force)
{
    // The selected level, as the indexed part holds it.
    if (selectedLevel_ < lightingDirty_.size() && lightingDirty_[selectedLevel_])
    {
        lightingDirty_[selectedLevel_] = 0;
        CalculateLighting(display, viewport, matrix, chunkCount_, chunks_, materials_);
        if (dirtyCount_ > 0 && --dirtyCount_ == 0) LightTarget::SetUpdateLighting(false);
    }
    else if (force)
        CalculateLighting(display, viewport, matrix, chunkCount_, chunks_, materials_);
}

void VelmarIndexedMeshLODInstance::SetUpdateLighting(bool on)
{
    LightTarget::SetUpdateLighting(on);
    lightingDirty_.assign(levels_.size(), on ? 1 : 0);
    dirtyCount_ = on ? uint32_t(levels_.size()) : 0;
}

// ---- the dynamic variant ----

VelmarDynamicIndexedMeshLODInstance::VelmarDynamicIndexedMeshLODInstance(VelmarIndexedMeshLODDefinition* definition)
    : VelmarIndexedMeshLODInstance(definition)
{}

void VelmarDynamicIndexedMeshLODInstance::MakeSkinnedChunksOwn()
{
    const uint32_t selected = selectedLevel_;
    for (uint32_t l = 0; l < levels_.size(); ++l)
    {
        // The chunks of a software level whose positions skinning writes.
        std::vector<bool> written(levels_[l].chunkCount, false);
        if (!levels_[l].skinning && lodDefinition_)
            for (const LODBone& b : lodDefinition_->GetBones())
                if (l < b.levels.size())
                    for (const InfluenceGroup& g : b.levels[l])
                        if (g.chunk < written.size()) written[g.chunk] = true;
        SelectLOD(l);
        MakeChunksUnique();
        for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count(); ++i)
        {
            if (!chunks_[i] || (chunks_[i]->GetFlags() & GeometryChunk::FlagNoInfluences)) continue;
            CloneChunk(i);
            if (written[i]) chunks_[i]->DuplicateVertexArray(display_);
        }
    }
    SelectLOD(selected);
}

void VelmarDynamicIndexedMeshLODInstance::SetupSkinning()
{
    if (lodDefinition_ == nullptr) return;
    animationCutOff_ = lodDefinition_->GetAnimationCutOff();
    MakeSkinnedChunksOwn();
    SetupFromBones(lodDefinition_->GetBones(), levels_);
    animatedLevels_.clear();
    for (const AttachmentMeshRecord& r : attachmentMeshes_)
        if (r.animated && r.level < levels_.size() &&
            std::find(animatedLevels_.begin(), animatedLevels_.end(), r.level) == animatedLevels_.end())
            animatedLevels_.push_back(r.level);
    Bind(AdoptSkeleton(lodDefinition_->GetSkeletonRoot()));
}

Particle* VelmarDynamicIndexedMeshLODInstance::CreateInstance() const
{
    auto* copy = new VelmarDynamicIndexedMeshLODInstance(lodDefinition_);
    copy->InitInstance(*this);
    return copy;
}

void VelmarDynamicIndexedMeshLODInstance::InitInstance(const VelmarIndexedMeshInstance& source)
{
    VelmarIndexedMeshLODInstance::InitInstance(source);
    const auto* dynamic = dynamic_cast<const VelmarDynamicIndexedMeshLODInstance*>(&source);
    if (dynamic == nullptr) return;
    VelmarInfluenceMesh::operator=(*dynamic);
    animationCutOff_ = dynamic->animationCutOff_;
    animationFlags_ = uint8_t((animationFlags_ & ~kRefreshSkinning) | (dynamic->animationFlags_ & kRefreshSkinning));
    animatedLevels_ = dynamic->animatedLevels_;
    MakeSkinnedChunksOwn();
    for (const MeshChunkGroup& level : levels_)
        if (level.skinning) AssignInfluenceMatrices(level.chunkCount, level.chunks);
    const Bone* root = GetRootBone();
    Bind(root ? FindByName(root->name) : nullptr);
}

void VelmarDynamicIndexedMeshLODInstance::Cull(ViewPoint& viewPoint, const Matrix4& matrix)
{
    VelmarIndexedMeshLODInstance::Cull(viewPoint, matrix);
    if (levelLocked_) FindLOD(GetGlobalBoundingSphere(), viewPoint.GetCamera());
}

void VelmarDynamicIndexedMeshLODInstance::UpdateAnimation(uint32_t frame)
{
    const float m = GetCurrentMeasure(), a = animationCutOff_, o = GetOffset();
    int state = -1;
    if (m - o > a)
    {
        animationFlags_ |= kBeyondAnimation;
        state = 1;
    }
    else if (m + o < a)
    {
        animationFlags_ &= uint8_t(~kBeyondAnimation);
        state = 0;
    }
    if (state >= 0)
        for (Particle* child : GetChildren())
        {
            const std::string_view name = child->GetName().View();
            if (name.size() < 3 || name.substr(0, 2) != "b.") continue;
            if (bool(child->GetFlags() & kFarBit) == bool(state)) continue;
            std::vector<Particle*> pending{child};
            while (!pending.empty())
            {
                Particle* p = pending.back();
                pending.pop_back();
                p->SetFlags(uint8_t(state ? (p->GetFlags() | kFarBit) : (p->GetFlags() & ~kFarBit)));
                pending.insert(pending.end(), p->GetChildren().begin(), p->GetChildren().end());
            }
        }
    if ((animationFlags_ & (kRefreshSkinning | kBeyondAnimation)) == 0) return;
    animationFlags_ &= uint8_t(~kRefreshSkinning);
    // The drawn level is skinned with its own influences: for a locked instance the selector's level may
    // be another, whose influences name other chunks and vertices.
    if (drawLevel_ < levels_.size())
        UpdateChunk(levels_[drawLevel_].chunkCount, levels_[drawLevel_].chunks, frame, drawLevel_);
    for (uint32_t level : animatedLevels_)
        if (level != drawLevel_ && level < levels_.size())
            UpdateChunk(levels_[level].chunkCount, levels_[level].chunks, frame, level);
}

void VelmarDynamicIndexedMeshLODInstance::Render(Display* display, ViewPort& viewport, Matrix4& matrix)
{
    UpdateAnimation(display ? display->GetCurrentFrame() : viewport.frame);
    VelmarIndexedMeshLODInstance::Render(display, viewport, matrix);
}

void VelmarDynamicIndexedMeshLODInstance::RenderGeometry(Display* display, ViewPort& viewport, const Matrix4& matrix,
                                                         bool lit)
{
    UpdateAnimation(display ? display->GetCurrentFrame() : viewport.frame);
    VelmarIndexedMeshLODInstance::RenderGeometry(display, viewport, matrix, lit);
}
