#pragma once
// The instance of a level-of-detail mesh. Every frame the LOD selector (its second base) measures the
// object's distance from the camera (Orvo::ObjectLOD: distance x multiplier + offset, from the bounding
// sphere enlarged by 5) and picks the level to draw; attachment points in the mesh's cull list get flag
// bit 1 (0x02) while the measure is beyond the attachment cut-off; the instance is drawn only when the
// render cut-off is not above the measure (equal draws) and its opacity is above 0.
//
// The indexed-instance part holds one level's chunks and materials, the selected level (SelectLOD): it is
// what collision, face queries, element counts and validation see. It starts as the level of the
// attachment mesh record named "collision", or else the last level that has a switch distance. The drawn
// level is separate; a locked level stays drawn whatever the measure.
//
// The dynamic variant skins its levels through an influence mesh (one chunk set per level) and switches
// its animated parts (direct children named "b.") by an animation cut-off with a hysteresis band of the
// selector's offset: beyond a + o they are switched on (flag bit 1), below a - o off, in between nothing
// changes.
#include "engine/ObjectLOD.h"
#include "render/MeshChunkGroup.h"
#include "render/VelmarIndexedMeshInstance.h"
#include "render/VelmarIndexedMeshLODDefinition.h"
#include "render/VelmarInfluenceMesh.h"

#include <cstdint>
#include <vector>

class VelmarIndexedMeshLODInstance : public VelmarIndexedMeshInstance, public Orvo::ObjectLOD
{
public:
    static constexpr uint32_t kTypeId = 21;
    // The flag bit set on cull-listed attachment points beyond the attachment cut-off, and on animated parts.
    static constexpr uint8_t kFarBit = 0x02;

    explicit VelmarIndexedMeshLODInstance(VelmarIndexedMeshLODDefinition* definition);

    // Fills the instance from a LOD definition: selector, records, levels (per-instance chunks cloned),
    // the "collision" level selected, level 0 drawn.
    virtual void SetLODDefinition(VelmarIndexedMeshLODDefinition* definition);
    // What the resource does after SetLODDefinition (and mounting the attachment points): a copy of the
    // bone hierarchy with each level chunk bound to the bone of its name, and the cull-listed points.
    void BindLevelBones();
    // The attachment points named in the definition's cull list (found below this instance).
    void FindCullAttachments();

    // ---- per frame ----
    void Cull(Orvo::ViewPoint& viewPoint, const Orvo::Matrix4& matrix) override;
    void Render(Orvo::Display* display, Orvo::ViewPort& viewport, Orvo::Matrix4& matrix) override;
    Orvo::Particle* CreateInstance() const override;
    uint32_t GetID() const override { return kTypeId; }
    void SetOpacity(float opacity) override;
    bool AddChunk(Orvo::GeometryChunk*, Orvo::Material*) override { return false; }
    bool MergeChunk(Orvo::GeometryChunk&, uint32_t) override { return false; }
    void MakeChunksUnique() override;
    void MakeMaterialsUnique() override;
    void CloneChunk(uint32_t i) override;
    void CloneMaterial(uint32_t i) override;

    // ---- levels ----
    // The indexed part takes level `level`'s chunks and materials; nothing when there is no such level.
    void SelectLOD(uint32_t level);
    uint32_t GetSelectedLevel() const { return selectedLevel_; }
    uint32_t GetLevelCount() const { return uint32_t(levels_.size()); }
    const std::vector<MeshChunkGroup>& GetLevels() const { return levels_; }
    uint32_t GetDrawLevel() const { return drawLevel_; }
    // Draws `level` from now on, whatever the measure (SetLevelLocked(false) lets culling choose again).
    void LockLevel(uint32_t level);
    void SetLevelLocked(bool locked) { levelLocked_ = locked; }
    bool IsLevelLocked() const { return levelLocked_; }
    float GetRenderCutOff() const { return renderCutOff_; }
    float GetAttachmentCutOff() const { return attachmentCutOff_; }
    const std::vector<Orvo::Particle*>& GetCullAttachments() const { return cullAttachments_; }
    const std::vector<AttachmentMeshRecord>& GetAttachmentMeshes() const { return attachmentMeshes_; }
    VelmarIndexedMeshLODDefinition* GetLODDefinition() const { return lodDefinition_; }

    // ---- lighting (per level) ----
    virtual void CalculateLevelLighting(Orvo::Display* display, Orvo::ViewPort& viewport, const Orvo::Matrix4& matrix,
                                        uint32_t level, bool force);
    virtual void CalculateAllLighting(Orvo::Display* display, Orvo::ViewPort& viewport, const Orvo::Matrix4& matrix,
                                      bool force);
    void SetUpdateLighting(bool on) override;
    void UpdateLighting(Orvo::Display* display, Orvo::ViewPort& viewport, const Orvo::Matrix4& matrix,
                        bool force) override;
    uint32_t GetDirtyLevelCount() const { return dirtyCount_; }
    bool IsLevelDirty(uint32_t level) const { return level < lightingDirty_.size() && lightingDirty_[level]; }

protected:
    void InitInstance(const VelmarIndexedMeshInstance& source) override;
    // The level of the attachment mesh record "collision", else the last switch-distance level.
    uint32_t CollisionLevel() const;
    // In every level, the per-instance chunks become this instance's own.
    void ClonePerInstanceLevelChunks();
    // After a change to the indexed part's arrays: the selected level's record holds them too.
    void ShareIntoSelectedLevel();
    // Draws one level's chunks (with their bones when the level has them).
    void RenderLevel(Orvo::Display* display, Orvo::ViewPort& viewport, const Orvo::Matrix4& matrix, uint32_t level);

    VelmarIndexedMeshLODDefinition* lodDefinition_;
    std::vector<AttachmentMeshRecord> attachmentMeshes_;
    std::vector<MeshChunkGroup> levels_;
    uint32_t drawLevel_ = 0;
    bool levelLocked_ = false;
    std::vector<uint8_t> lightingDirty_;
    uint32_t dirtyCount_ = 0;
    float renderCutOff_ = 0.0f;
    float attachmentCutOff_ = 0.0f;
    std::vector<Orvo::Particle*> cullAttachments_;
    std::vector<Orvo::PString> cullNames_;
    uint32_t selectedLevel_ = 0;
};

class VelmarDynamicIndexedMeshLODInstance : public VelmarIndexedMeshLODInstance, public VelmarInfluenceMesh
{
public:
    static constexpr uint32_t kTypeId = 22;
    static constexpr uint8_t kRefreshSkinning = 0x01;
    static constexpr uint8_t kBeyondAnimation = 0x02;

    explicit VelmarDynamicIndexedMeshLODInstance(VelmarIndexedMeshLODDefinition* definition);

    // After SetLODDefinition: this instance's own skinned chunks per level, the bones, the animated
    // attachment levels and a bound copy of the bone hierarchy.
    void SetupSkinning();

    void Cull(Orvo::ViewPoint& viewPoint, const Orvo::Matrix4& matrix) override;
    void Render(Orvo::Display* display, Orvo::ViewPort& viewport, Orvo::Matrix4& matrix) override;
    void RenderGeometry(Orvo::Display* display, Orvo::ViewPort& viewport, const Orvo::Matrix4& matrix,
                        bool lit) override;
    Orvo::Particle* CreateInstance() const override;
    uint32_t GetID() const override { return kTypeId; }
    virtual bool AddSkinnedChunk(Orvo::GeometryChunk*, Orvo::Material*, const VelmarInfluenceMesh*, uint32_t)
    {
        return false;
    }
    virtual bool MergeSkinnedChunk(Orvo::GeometryChunk*, uint32_t, const VelmarInfluenceMesh*, uint32_t)
    {
        return false;
    }

    // The animation switch and skinning for a frame (run by Render and RenderGeometry).
    void UpdateAnimation(uint32_t frame);
    uint8_t GetAnimationFlags() const { return animationFlags_; }
    float GetAnimationCutOff() const { return animationCutOff_; }
    const std::vector<uint32_t>& GetAnimatedLevels() const { return animatedLevels_; }

protected:
    void InitInstance(const VelmarIndexedMeshInstance& source) override;
    // In every level, the chunks skinning writes or reads matrices for become this instance's own.
    void MakeSkinnedChunksOwn();

    float animationCutOff_ = 0.0f;
    uint8_t animationFlags_ = kRefreshSkinning | kBeyondAnimation;
    std::vector<uint32_t> animatedLevels_;
};
