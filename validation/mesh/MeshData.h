#pragma once
// A mesh loaded for checking: the engine instance that the mesh resources make for an indexed mesh
// ("im"; a progressive mesh, "pm", is only looked up) or a level-of-detail mesh ("lm", or its text form
// "lm.txt"), held below a particle of the validation scene.
//
// Loading reports what fails, as findings about the owner container (without owner when there is none):
// the mesh missing or not initialised, a material that could not be made (its placeholder stands in), a
// texture it names that is not there or does not load, a texture description whose primary image is
// missing, and a large mesh of a track that should have levels of detail. A missing mesh without owner, or in an alias asset, is not reported.
// A finding whose text has been recorded already is not recorded again, so a mesh loaded twice (by the
// normaliser, then for its container) or by two containers says each thing once.
//
// What the checks read afterwards: the attachment points (each known by the part of its name after the
// last "/"), the named parts (one a particle of the loaded mesh's tree), the loaded animations and the
// polygon count.
//
// A loaded mesh is animatable: it has a skeleton modifier observing it and an animator. An animation is
// added through the animator, which reads the ".kin" file and attaches it when every bone it moves is a
// bone of the mesh; what fails is reported: the mesh did not load, the file is missing or malformed, a
// bone the mesh lacks, or a mesh without bones to move.
#include "engine/Animator.h"
#include "engine/FilePath.h"
#include "engine/Matrix3.h"
#include "engine/PString.h"
#include "engine/Particle.h"
#include "engine/Vector.h"
#include "validation/MessageText.h"
#include "validation/ValidationHooks.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class VelmarIndexedMeshDefinition;
class VelmarIndexedMeshInstance;
class VelmarIndexedMeshLODInstance;

namespace Orvo {
class Display;
struct ViewPort;
}  // namespace Orvo

namespace TETLib {

class Container;
class DataManager;

struct MeshAttachment
{
    Orvo::Matrix3 orientation;
    Orvo::Vector3 position;
    Orvo::PString name;
};

struct LoadedAnimation
{
    Orvo::PString name;
    uint32_t value = 0;  // the animation's frame count, as its modifier gives it
};

// A part of the loaded mesh: one particle of its tree, known by the particle's name.
struct MeshNamedPart
{
    Orvo::Particle* particle = nullptr;
    Orvo::PString name;
};

// A part record kept beside the named parts for the checks that look into a mesh's parts; loading makes
// none.
struct MeshPartRecord
{
    Orvo::Particle* particle = nullptr;
};

// How a file is named in mesh findings: relative to the asset's folder when it lies there (folders
// compared without regard to case, as the mesh reader lower-cases the texture names it resolves), else
// as given (the asset's folder of `manager`).
std::string MeshPathText(const DataManager& manager, std::string_view path);

class MeshData : public Orvo::Particle, public ValidationMesh
{
public:
    // The particle flag of the one mesh shown in the validation scene: the last one loaded.
    static constexpr uint8_t kVisibleBit = 0x02;

    // A mesh loaded through the mesh database of `manager` (which must outlive it), reporting into its
    // error handler.
    explicit MeshData(DataManager& manager);
    ~MeshData() override;

    // Loads the mesh file (an absolute path) for `owner` (may be null) on the main thread, the caller
    // waiting. True when it loaded (a progressive mesh: when its file is there).
    bool Load(const Orvo::File::Path& file, Container* owner);
    // Loads an animation file (an absolute path) onto this mesh the same way; false, reported, when it
    // cannot be loaded.
    bool LoadAnimation(const Orvo::File::Path& file) override;

    const std::string& GetFilePath() const override { return file_; }
    bool HasAttachmentPoint(std::string_view name) const override;

    // The instance (a VelmarIndexedMeshLODInstance for a LOD mesh), null until loaded.
    VelmarIndexedMeshInstance* GetInstance() const { return instance_.get(); }
    // The same instance seen as an indexed mesh's, whatever the kind.
    VelmarIndexedMeshInstance* GetMeshInstance() const { return instance_.get(); }
    // The definition the instance was made from (the LOD definition of a LOD mesh), null until loaded.
    virtual const VelmarIndexedMeshDefinition* GetDefinitionInfo() const;
    // The type name every mesh of validation answers.
    const Orvo::PString& GetTypeName() const;
    // The primitives of the instance's chunks (of the selected level of a LOD mesh).
    uint32_t GetPolygonCount() const;
    size_t GetAttachmentCount() const { return attachments_.size(); }
    const std::vector<MeshAttachment>& GetAttachmentPoints() const { return attachments_; }
    size_t GetNamedPartCount() const { return namedParts_.size(); }
    const std::vector<MeshNamedPart>& GetNamedParts() const { return namedParts_; }
    size_t GetPartRecordCount() const { return partRecords_.size(); }
    const std::vector<MeshPartRecord>& GetPartRecords() const { return partRecords_; }
    const std::vector<LoadedAnimation>& GetAnimations() const { return animations_; }
    // True once the mesh has loaded (its skeleton modifier and animator made): animations can then be
    // loaded onto it.
    bool IsAnimatable() const { return animatable_; }
    Orvo::SkeletonModifier* GetSkeletonModifier() const { return skeleton_.get(); }
    // Passes the lighting to the instance (a LOD instance lights its levels) and works it out again.
    void UpdateLighting(Orvo::Display* display, Orvo::ViewPort& viewport, const Orvo::Matrix4& matrix, bool force);
    Container* GetOwner() const { return owner_; }
    void SetVisible(bool visible);
    bool IsVisible() const { return (GetFlags() & kVisibleBit) != 0; }

protected:
    virtual bool IsLOD() const { return false; }

private:
    bool LoadStep(void*);
    bool LoadAnimationStep(void*);
    // The checks after a successful load.
    void CollectAttachmentPoints();
    void CollectNamedParts();
    void CheckMaterials(const std::vector<Orvo::PString>& missingMaterials);
    void CheckTextureDescription(const Orvo::PString& texture);
    bool ShouldHaveLevelsOfDetail() const;
    // Reports a finding once per text: about the owner, or without owner when there is none.
    void Report(bool error, std::string_view key, std::initializer_list<MessageParam> params) const;

    std::unique_ptr<VelmarIndexedMeshInstance> instance_;
    std::string file_;
    std::string animationFile_;
    std::vector<MeshAttachment> attachments_;
    std::vector<MeshNamedPart> namedParts_;
    std::vector<MeshPartRecord> partRecords_;
    std::vector<LoadedAnimation> animations_;
    // The animator refers to the skeleton modifier, so it goes first.
    std::unique_ptr<Orvo::SkeletonModifier> skeleton_;
    std::unique_ptr<Orvo::Animator> animator_;
    DataManager& manager_;
    Container* owner_ = nullptr;
    bool animatable_ = false;
};

class LODMeshData : public MeshData
{
public:
    using MeshData::MeshData;
    VelmarIndexedMeshLODInstance* GetLODInstance() const;
    uint32_t GetLevelCount() const;
    const VelmarIndexedMeshDefinition* GetDefinitionInfo() const override;
    // Makes `level` the instance's selected level (what its counts then show); nothing for no such level.
    void SelectLOD(uint32_t level);

protected:
    bool IsLOD() const override { return true; }
};

}  // namespace TETLib
