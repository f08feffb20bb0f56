#pragma once
// The loaded, shareable form of one indexed mesh: geometry chunks with their materials, bounds,
// skinning data (bone influences or a bone hierarchy), attachment points and the texture detail bias.
// It is filled from an indexed mesh file ("OIRF" container, form "IDXM") or from a text description,
// and is what every instance of the mesh is made from.
//
// Reading treats the file as untrusted: every count is bounded by the bytes that remain before anything
// is allocated, no read passes the data, and the first failure ends the load with its MeshLoadResult.
#include "engine/AutoReference.h"
#include "engine/AutoReferenceArray.h"
#include "engine/Bounds.h"
#include "engine/Color.h"
#include "engine/File.h"
#include "engine/GeometryChunk.h"
#include "engine/InfluenceDefinition.h"
#include "engine/Material.h"
#include "engine/MemoryFile.h"
#include "engine/MeshFileSupport.h"
#include "engine/OrientedBox.h"
#include "engine/PString.h"
#include "engine/Quaternion.h"
#include "engine/Vector.h"
#include "render/MaterialRecord.h"
#include "render/MeshLoadResult.h"
#include "render/MeshOptions.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Orvo {
struct ConfigData;
class Display;
class GeometryConfigData;
class MaterialManager;
class Particle;
class ParticleBone;
class ParticleStructure;
}  // namespace Orvo

class MeshCollisionGeometry;
class Overlapped;
class OverlappedResourceSystem;
class VelmarGeometryBaseResource;
class VLAxisBoxTree;

using ChunkArray = Orvo::AutoReferenceArray<Orvo::AutoReference<Orvo::GeometryChunk>>;
using MaterialArray = Orvo::AutoReferenceArray<Orvo::AutoReference<Orvo::Material>>;

struct AttachmentRecord
{
    Orvo::Matrix3 orientation;
    Orvo::Vector3 position;
    Orvo::PString name;
};

struct MissingTexture
{
    Orvo::PString material;  // the material's request name
    Orvo::PString texture;   // the texture file
};

class VelmarIndexedMeshDefinition : public Orvo::MeshFileSupport
{
public:
    static constexpr uint32_t kMaxChunks = 1024;
    static constexpr uint32_t kMaxPairs = 1024;
    static constexpr uint32_t kMaxElements = 262144;  // vertices, primitives, indices, face normals of a chunk
    static constexpr uint32_t kMaxInfluences = 1023;
    static constexpr uint32_t kMaxBoneDepth = 256;  // nesting of BONE chunks

    explicit VelmarIndexedMeshDefinition(const MeshOptions& options);
    ~VelmarIndexedMeshDefinition() override;
    VelmarIndexedMeshDefinition(const VelmarIndexedMeshDefinition&) = delete;
    VelmarIndexedMeshDefinition& operator=(const VelmarIndexedMeshDefinition&) = delete;

    // ---- loading ----
    // Finds the file through the resource's database, names the definition after it and holds it in
    // memory: 0, or 2 when it cannot be opened.
    int OpenMeshFile(VelmarGeometryBaseResource* resource, const std::string& fileName);
    // Holds bytes as the mesh file (what OpenMeshFile does with a file's contents).
    void SetFileData(const void* data, size_t size, const std::string& name);
    // Reads the held indexed mesh file. `colour` (0xAARRGGBB) is every vertex's colour when the chunk has
    // colours.
    virtual int LoadIDXM(Orvo::Display* display, Orvo::MaterialManager* materials, VelmarGeometryBaseResource* resource,
                         uint32_t colour);
    // From a text description ("imtxt"): parses the file and hands the root to LoadFromGeometryConfig.
    virtual int LoadFromConfigText(Orvo::Display* display, Orvo::MaterialManager* materials,
                                   VelmarGeometryBaseResource* resource, const std::string& fileName, uint32_t colour);
    virtual int LoadFromGeometryConfig(Orvo::Display* display, Orvo::MaterialManager* materials,
                                       VelmarGeometryBaseResource* resource, const Orvo::ConfigData& root,
                                       uint32_t colour);
    // At load completion: hands every chunk material its textures, noting those that cannot be found.
    void FinishMaterials(VelmarGeometryBaseResource* resource);
    // Every chunk checks itself on the display: 0, or 9 when one refuses.
    int CheckChunks(Orvo::Display* display);
    // Writes the bone weights and indices of the influence definitions into the chunks.
    virtual void ApplyInfluences();
    // Adds the attachment points whose names begin with "a" to an instance.
    void MountAttachmentPoints(Orvo::ParticleStructure& instance) const;
    size_t GetMemorySize() const;
    // Writes the definition as an indexed mesh file: 0, or 1 when it has no chunks, holds bone influences
    // that weigh vertices (which this writer does not write) or a skeleton deeper than the reader takes, or
    // the file cannot be written. A skeleton whose bones weigh nothing is written (SKEL).
    int SaveIDXM(Orvo::File& file);

    // ---- the collision tree of the chunks' triangles ----
    // The tree instances test rays against, or null. It is built in the background: the first call given
    // a background request system asks it for the build and returns null, and later calls return null
    // while the build is queued or running and the tree once it is done (a build the queue refused is
    // done on the calling thread). A call without a system asks for nothing: it returns the tree once a
    // build asked for earlier is done.
    const VLAxisBoxTree* GetCollisionTree(OverlappedResourceSystem* background);
    // As GetCollisionTree, but a build that was asked for is finished before returning (waiting while the
    // worker runs it).
    const VLAxisBoxTree* FinishCollisionTree(OverlappedResourceSystem* background);
    // The chunk and triangle (Orvo::ConstFaceDescriptor numbering) of a triangle id of the tree.
    bool DecodeCollisionId(uint32_t id, uint32_t& chunk, uint32_t& triangle) const;

    // ---- what was loaded ----
    const Orvo::PString& GetName() const { return name_; }
    void SetName(const Orvo::PString& name) { name_ = name; }
    const Orvo::Vector3& GetPosition() const { return position_; }
    const Orvo::Quaternion& GetOrientation() const { return orientation_; }
    // The box around all vertex positions: high corner, low corner (both zero without vertices).
    const Orvo::Vector3& GetBoundsHigh() const { return boundsHigh_; }
    const Orvo::Vector3& GetBoundsLow() const { return boundsLow_; }
    uint32_t GetChunkCount() const { return chunkCount_; }
    uint32_t GetTotalVertices() const { return totalVertices_; }
    uint32_t GetTotalFaces() const { return totalFaces_; }
    uint32_t GetInfluencesPerVertex() const { return influencesPerVertex_; }
    uint32_t GetBonesPerChunk() const { return bonesPerChunk_; }
    uint32_t GetBoneLimit() const { return boneLimit_; }
    bool IsHardwareSkinned() const { return hardwareSkinning_; }
    bool HasCapability29() const { return capability29_; }
    float GetTextureDetailBias() const { return textureDetailBias_; }
    const Orvo::OrientedBox& GetOrientedBox() const { return orientedBox_; }
    const ChunkArray& GetChunks() const { return chunks_; }
    const MaterialArray& GetMaterials() const { return materials_; }
    Orvo::GeometryChunk* GetChunk(uint32_t i) const { return i < chunks_.Count() ? chunks_[i].Get() : nullptr; }
    Orvo::Material* GetChunkMaterial(uint32_t i) const
    {
        return i < materials_.Count() ? materials_[i].Get() : nullptr;
    }
    // The chunk's name, empty when there is none or `i` is not a chunk.
    Orvo::PString GetChunkName(uint32_t i) const;
    const std::vector<AttachmentRecord>& GetAttachments() const { return attachments_; }
    const std::vector<Orvo::InfluenceDefinition>& GetInfluences() const { return influences_; }
    Orvo::ParticleBone* GetSkeletonRoot() const { return skeleton_; }
    const std::vector<MissingTexture>& GetMissingTextures() const { return missingTextures_; }
    const MeshOptions& GetOptions() const { return options_; }
    const Orvo::MemoryFile& GetFile() const { return file_; }

    // ---- the engine's questions about any mesh (chunk i, influence i, attachment i from 0) ----
    uint32_t GetChunkVertexCount(uint32_t i) const;
    uint32_t GetChunkIndexCount(uint32_t i) const;
    uint32_t GetChunkPrimitiveCount(uint32_t i) const;
    uint32_t GetChunkTextureSetCount(uint32_t i) const;
    uint32_t GetChunkMaxInfluences(uint32_t i) const;
    // Strided copies; false when the chunk or the item does not exist.
    bool CopyChunkPositions(uint32_t i, uint8_t* out, uint32_t stride) const;
    bool CopyChunkNormals(uint32_t i, uint8_t* out, uint32_t stride) const;
    bool CopyChunkTextureSet(uint32_t i, uint32_t set, uint8_t* out, uint32_t stride) const;
    bool CopyChunkIndices(uint32_t i, uint16_t* out) const;
    // Colours packed (item 2) or as four floats (item 3); without colours every vertex gets `fill`.
    bool CopyChunkColours(uint32_t i, uint8_t* out, uint32_t stride, uint32_t fill, bool packed) const;
    bool CopyChunkFaceNormals(uint32_t i, float* out) const;
    Orvo::PString GetMaterialRequestName(uint32_t i) const;
    std::vector<Orvo::Material::Texture> GetMaterialTextures(uint32_t i) const;
    bool GetMaterialFlag(uint32_t i) const;
    float GetMaterialOpacity(uint32_t i) const;
    bool GetDisplayMaterial(uint32_t i, Orvo::DisplayMaterial& out) const;
    uint32_t GetMaterialPropertyCount(uint32_t i) const;
    // The name (which = 0) or value (which = 1) of property n; empty when there is none.
    std::string GetMaterialPropertyText(uint32_t i, uint32_t n, int which) const;
    Orvo::PString GetInfluenceName(uint32_t i) const;
    Orvo::PString GetInfluenceParentName(uint32_t i) const;
    Orvo::Vector3 GetInfluencePosition(uint32_t i) const;
    Orvo::Quaternion GetInfluenceOrientation(uint32_t i) const;
    uint32_t GetInfluenceGroupCount(uint32_t i) const;
    uint32_t GetInfluenceGroupChunk(uint32_t i, uint32_t g) const;
    uint32_t GetInfluenceGroupEntryCount(uint32_t i, uint32_t g) const;
    bool CopyInfluenceGroupEntries(uint32_t i, uint32_t g, Orvo::InfluenceEntry* out) const;
    Orvo::PString GetAttachmentName(uint32_t i) const;
    Orvo::Quaternion GetAttachmentOrientation(uint32_t i) const;
    Orvo::Vector3 GetAttachmentPosition(uint32_t i) const;

protected:
    // ---- the file's chunks (the memory file positioned at the chunk's tag) ----
    // The container and the chunks of an indexed mesh file, up to the form end; a progressive file has no
    // chunk limit and may end with a PMIN chunk.
    int ReadForm(uint32_t colour, bool progressive);
    virtual int ReadINFO();
    virtual int ReadCHNK(uint32_t index, uint32_t colour);
    virtual int ReadGEOM(uint32_t index, uint32_t colour);
    virtual int ReadMATL(uint32_t index);
    virtual int CreateChunkMaterial(uint32_t index, const MaterialRecord& record);
    virtual int ReadNINF(uint32_t index);
    virtual int ReadINFLOrSKEL();
    virtual int ReadATCH();
    virtual int ReadBONE(Orvo::ParticleBone* parent, uint32_t depth);
    virtual int ReadPMIN();
    // ---- the text description's readers ----
    virtual int CreateMaterial(uint32_t index, const Orvo::GeometryConfigData& source);
    virtual int CreateChunkFromSource(uint32_t index, const Orvo::GeometryConfigData& source, uint32_t colour);
    virtual int ReadInfluencesFromSource(const Orvo::GeometryConfigData& source);
    virtual int ReadAttachmentsFromSource(const Orvo::GeometryConfigData& source);

    // The chunk header at the current position: the tag must be `tag`; its version goes to `version`
    // and the end of its data (bounded by the form) to `end`. 3 on a wrong tag or a chunk that does not
    // fit.
    int ReadChunkHeader(const char tag[4], uint32_t& version, size_t& end);
    // Reads the material fields common to both mesh forms, from the name to the texture entries.
    int ReadMaterialFields(MaterialRecord& record, uint32_t version, bool limitPairs);
    // Reads one chunk's geometry (after its header) into a chunk made through `material`.
    struct GeomLayout
    {
        uint32_t version = 0;
        bool textureSetCount = false;  // the file gives a texture set count (else one set)
        bool colours = false;
        bool nameFromVersion200 = true;  // the chunk name from version 200 (the LOD form: 103)
        bool bounded = true;             // the indexed form's limit on the counts
        bool skipToEnd = true;           // unknown trailing bytes are skipped (else refused)
        bool hardware = false;           // the chunk is skinned in hardware when it has weights
    };
    int ReadGeometry(const GeomLayout& layout, size_t end, Orvo::Material* material, uint32_t colour,
                     Orvo::AutoReference<Orvo::GeometryChunk>& chunk, Orvo::PString& chunkName);
    int ReadNeighbours(Orvo::GeometryChunk* chunk);
    // A u32 count and that many influence groups (u32 chunk, u32 entry count, the 20-byte entries),
    // appended to `out`; a group without entries is left out unless `keepEmpty`. False when a count is
    // more than the bytes that remain could hold or the data ends early.
    bool ReadInfluenceGroups(std::vector<Orvo::InfluenceGroup>& out, bool keepEmpty);
    int ReadAttachmentChunk();
    // The bones of the influence definitions as a skeleton; the bounds; the texture detail bias; the box.
    void BuildBonesFromInfluences();
    void ComputeBounds(const ChunkArray& chunks, uint32_t count);
    void ComputeTextureDetailBias();
    void BuildOrientedBox(const ChunkArray& chunks, uint32_t count);
    void SetSkeleton(Orvo::ParticleBone* root);
    // Writes one bone's weights and indices into a chunk (shared with the LOD form). `placed` counts the
    // influences each vertex of the chunk holds so far; a vertex whose positions are all taken keeps only
    // the strongest of its influences and the new one.
    static void ApplyGroup(Orvo::GeometryChunk& chunk, const Orvo::Particle* bone, const Orvo::InfluenceGroup& group,
                           std::vector<uint8_t>& placed);
    // A texture file name reduced to its file part and joined to the mesh's folder, lower-cased.
    static Orvo::PString ResolveTextureName(const std::string& file, VelmarGeometryBaseResource* resource);
    void ResetChunks(uint32_t capacity);
    // The creation hint every chunk starts from: the software-lighting and buffer-usage settings.
    Orvo::StandardChunkHint MakeHint() const;

    MeshOptions options_;
    Orvo::Vector3 position_;
    Orvo::Quaternion orientation_;
    Orvo::Vector3 boundsHigh_;
    Orvo::Vector3 boundsLow_;
    Orvo::PString name_;
    uint32_t chunkCount_ = 0;
    uint32_t totalVertices_ = 0;
    uint32_t totalFaces_ = 0;
    uint32_t influencesPerVertex_ = 0;
    uint32_t bonesPerChunk_ = 0;
    uint32_t hardwareInfluenceLimit_ = 4;
    uint32_t boneLimit_ = 25;
    bool hardwareSkinning_ = false;
    bool capability29_ = false;
    ChunkArray chunks_;
    MaterialArray materials_;
    std::vector<AttachmentRecord> attachments_;
    std::vector<MissingTexture> missingTextures_;
    Orvo::MemoryFile file_;
    struct PendingTextures
    {
        std::vector<MeshTextureEntry> textures;
        Orvo::AutoReference<Orvo::Material> material;
    };
    std::vector<PendingTextures> pendingTextures_;
    std::vector<Orvo::InfluenceDefinition> influences_;
    std::vector<Orvo::PString> chunkNames_;
    Orvo::ParticleBone* skeleton_ = nullptr;           // owned, with everything below it
    std::vector<Orvo::ParticleBone*> influenceBones_;  // the bone of each influence definition (in skeleton_)
    float textureDetailBias_ = 0.0f;
    Orvo::OrientedBox orientedBox_;

    // The collision tree, the geometry it reads, the tree a background build made and the build's handle.
    std::mutex collisionLock_;
    std::unique_ptr<MeshCollisionGeometry> collisionGeometry_;
    std::unique_ptr<VLAxisBoxTree> collisionTree_;
    std::unique_ptr<VLAxisBoxTree> builtTree_;
    std::unique_ptr<Overlapped> collisionRequest_;
    bool collisionFailed_ = false;
    static bool BuildCollisionWork(void* definition);
    static bool TakeCollisionWork(void* definition);

    // While loading.
    Orvo::Display* display_ = nullptr;
    Orvo::MaterialManager* materialManager_ = nullptr;
    VelmarGeometryBaseResource* resource_ = nullptr;
    size_t formEnd_ = 0;
};
