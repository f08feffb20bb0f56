#pragma once
// The loaded, shareable form of a level-of-detail mesh: its levels (each a MeshChunkGroup), the switch
// distances, the distance rules of the LOD selector, the meshes hung on attachment points, and the bones
// with their influences per level. It is read from a LOD mesh file ("OIRF" container, form "LODM") or
// from a text LOD description naming one indexed mesh per level, and can be saved as a LOD mesh file.
// After loading, the inherited chunk and material arrays hold the last level that has a switch distance.
#include "engine/File.h"
#include "render/MeshChunkGroup.h"
#include "render/VelmarIndexedMeshDefinition.h"

#include <memory>
#include <string>
#include <vector>

struct AttachmentMeshRecord
{
    Orvo::PString name;  // the attachment point the mesh hangs on
    uint32_t level = 0;  // the level record that holds the mesh
    bool animated = false;
};

// A skinning bone with its influence groups for every level.
struct LODBone
{
    Orvo::PString name;
    Orvo::PString parentName;
    Orvo::Vector3 position;
    Orvo::Matrix3 orientation;
    std::vector<std::vector<Orvo::InfluenceGroup>> levels;
};

class VelmarIndexedMeshLODDefinition : public VelmarIndexedMeshDefinition
{
public:
    static constexpr uint32_t kMaxDescribedMeshes = 1024;  // "mesh" items of a text description

    explicit VelmarIndexedMeshLODDefinition(const MeshOptions& options);
    ~VelmarIndexedMeshLODDefinition() override;

    // Opens `fileName` through the resource's database, holds it in memory and reads it.
    int LoadLODM(Orvo::Display* display, Orvo::MaterialManager* materials, VelmarGeometryBaseResource* resource,
                 const std::string& fileName, uint32_t colour);
    // Reads file data already held (SetFileData).
    int LoadHeldLODM(Orvo::Display* display, Orvo::MaterialManager* materials, VelmarGeometryBaseResource* resource,
                     uint32_t colour);
    // Writes the definition as a LOD mesh file: 0, or 1 when it has no levels (nothing is written) or the
    // file cannot be written.
    int SaveLODM(Orvo::File& file);
    // Reads a text LOD description and the meshes it names.
    int ReadLODDescription(Orvo::Display* display, Orvo::MaterialManager* materials,
                           VelmarGeometryBaseResource* resource, const std::string& fileName, uint32_t colour);
    // At load completion of a text description: the level meshes' materials get their textures, then the
    // level meshes are let go (their chunks and materials live on in the levels).
    void FinishOwnedLevels(VelmarGeometryBaseResource* resource);

    // Every chunk material of a level after the first becomes the first equal material (same type, equal
    // by the earlier material's comparison) of an earlier level, so that equal materials are one object.
    void MergeEqualLevelMaterials();
    // The bytes the definition accounts for: bones, attachment points and records, switch distances,
    // level records, the chunks' vertices and indices, and the first bone's influence lists.
    size_t GetLODMemorySize() const;
    // Appends to every bone the groups of the influence definition of the same name, as a new level.
    void AddLevelInfluences(const std::vector<Orvo::InfluenceDefinition>& influences);
    void ApplyInfluences() override;

    const std::vector<float>& GetSwitchDistances() const { return switchDistances_; }
    uint32_t GetCalcPoint() const { return calcPoint_; }
    float GetOffset() const { return offset_; }
    float GetMultiplier() const { return multiplier_; }
    float GetAnimationCutOff() const { return animationCutOff_; }
    float GetRenderCutOff() const { return renderCutOff_; }
    float GetAttachmentCutOff() const { return attachmentCutOff_; }
    const std::vector<Orvo::PString>& GetCullList() const { return cullList_; }
    const std::vector<AttachmentMeshRecord>& GetAttachmentMeshes() const { return attachmentMeshes_; }
    uint32_t GetLevelCount() const { return levelCount_; }
    const std::vector<MeshChunkGroup>& GetLevels() const { return levels_; }
    const std::vector<LODBone>& GetBones() const { return bones_; }
    const std::vector<std::string>& GetLoadedFiles() const { return loadedFiles_; }
    size_t GetOwnedLevelCount() const { return ownedLevels_.size(); }

protected:
    int ReadINFO() override;
    int ReadMATT();
    int ReadTableMATL();
    int ReadBONT();
    int ReadRBOT();
    int ReadMESH(uint32_t levelIndex, uint32_t colour);
    int ReadLODB(uint32_t levelIndex);
    int ReadLCHK(uint32_t slot, MeshChunkGroup& level, uint32_t colour);
    int ReadLevelGEOM(uint32_t slot, MeshChunkGroup& level, Orvo::Material* material, uint32_t colour);
    int ReadLevelNINF(uint32_t slot, MeshChunkGroup& level);

    bool WriteINFO(Orvo::File& f);
    bool WriteMATT(Orvo::File& f, std::vector<Orvo::Material*>& table);
    bool WriteMATL(Orvo::File& f, const Orvo::Material& material);
    bool WriteBONT(Orvo::File& f);
    bool WriteRBOT(Orvo::File& f);
    bool WriteATCH(Orvo::File& f);
    bool WriteMESH(Orvo::File& f, uint32_t levelIndex, const std::vector<Orvo::Material*>& table);
    bool WriteLODB(Orvo::File& f, uint32_t levelIndex);
    bool WriteLCHK(Orvo::File& f, uint32_t slot, uint32_t materialIndex, const MeshChunkGroup& level,
                   uint32_t levelIndex);
    bool WriteGEOM(Orvo::File& f, Orvo::GeometryChunk& chunk, uint32_t weights, const Orvo::PString& name);
    bool WriteNINF(Orvo::File& f, const Orvo::GeometryChunk& chunk);

    int LoadLevelMesh(Orvo::Display* display, Orvo::MaterialManager* materials, VelmarGeometryBaseResource* resource,
                      const std::string& meshFileName, uint32_t colour, bool firstLevel);

    // The end of a load: bones, influences, bounds, cull names, and the last switch-distance level as the
    // definition's own chunks.
    void FinishBinaryLoad();
    void BuildBoneHierarchy();
    void TakeCullNames();
    void SelectLastSwitchLevel();
    // The largest number of entries naming one vertex of a level's chunk, and the number of bones with a
    // group for it.
    void CountInfluences(uint32_t levelIndex, uint32_t chunk, uint32_t& perVertex, uint32_t& bones) const;

    std::vector<float> switchDistances_;
    uint32_t calcPoint_ = 0;
    float offset_ = 0.0f;
    float multiplier_ = 1.0f;
    float animationCutOff_ = 0.0f;
    float renderCutOff_ = 0.0f;
    float attachmentCutOff_ = 0.0f;
    std::vector<Orvo::PString> cullList_;
    std::vector<AttachmentMeshRecord> attachmentMeshes_;
    uint32_t levelCount_ = 0;
    std::vector<MeshChunkGroup> levels_;
    std::vector<LODBone> bones_;
    std::vector<Orvo::ParticleBone*> boneParticles_;  // the particle of each bone, in the skeleton
    std::vector<std::unique_ptr<VelmarIndexedMeshDefinition>> ownedLevels_;
    std::vector<std::string> loadedFiles_;
    std::vector<Orvo::AutoReference<Orvo::Material>> materialTable_;  // while reading
};
