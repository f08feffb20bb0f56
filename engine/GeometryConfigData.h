#pragma once
// A mesh described in text ("imtxt"), read from a parsed configuration tree. The form:
//
//   version 1.00
//   position 0,0,0                  optional, the mesh position
//   orientation 0,0,0,1             optional quaternion x,y,z,w
//   influencesPerVertex 0           optional
//   bonesPerChunk 0                 optional
//   chunk                           one per geometry chunk, in order
//   {
//     name "hull"                   optional chunk name
//     material
//     {
//       name "hull.m.onetex"        decorated material name
//       flag 0                      opacity 1.0      power 0.25 (x 128 when made into a material)
//       ambient 1,1,1               diffuse 1,1,1    specular 0,0,0    emissive 0,0,0
//       texture                     one per texture
//       {
//         stage 0
//         file "hull.texture"
//         value 1
//       }
//       parameter                   one per parameter
//       {
//         name "key"
//         value "text"
//       }
//     }
//     weights 0                     blend weights per vertex
//     positions x,y,z,...           3 numbers a vertex: the vertex count
//     normals x,y,z,...             optional, 3 a vertex
//     texture0 u,v,... to texture7  optional sets, 2 a vertex, consecutive from texture0
//     colours c,...                 optional, one 0xAARRGGBB number a vertex
//     indices i,...                 triangle list, each below the vertex count
//     faceNormals x,y,z,...         optional, 3 a face
//   }
//   influence                       one per bone
//   {
//     name "bone"   parent "root"   position x,y,z   orientation x,y,z,w
//     group                         one per chunk the bone moves
//     {
//       chunk 0
//       entries v,w,a,b,c,...       5 numbers an entry: vertex, weight, three further floats
//     }
//   }
//   attachment                      one per attachment point
//   {
//     name "a.light"   position x,y,z   orientation x,y,z,w
//   }
//
// Every list is checked: whole records, vertex counts up to 65536 (16-bit indices), indices within the
// vertices, entries within their chunk. A description that breaks a rule is refused with the reason.
#include "engine/Color.h"
#include "engine/ConfigParser.h"
#include "engine/InfluenceDefinition.h"
#include "engine/Material.h"
#include "engine/Quaternion.h"
#include "engine/Vector.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Orvo {

class GeometryConfigData
{
public:
    static constexpr uint32_t kMaxChunkVertices = 65536;

    struct MaterialData
    {
        PString name;
        uint32_t flag = 0;
        float opacity = 1.0f;
        DisplayMaterial display;  // power as written
        std::vector<Material::Texture> textures;
        std::vector<Material::Property> parameters;
    };
    struct Chunk
    {
        PString name;
        MaterialData material;
        uint32_t weights = 0;
        std::vector<Vector3> positions;
        std::vector<Vector3> normals;
        std::vector<std::vector<float>> textureSets;  // 2 floats a vertex each
        std::vector<uint32_t> colours;
        std::vector<uint16_t> indices;
        std::vector<Vector3> faceNormals;
    };
    struct Attachment
    {
        PString name;
        Vector3 position;
        Quaternion orientation;
    };

    // Reads the description below `root`; false (with GetError) when it breaks a rule. The three flags
    // ask for the chunks, the influences and the attachments; `name` names it in messages.
    bool LoadConfigData(const ConfigData& root, bool chunks, bool influences, bool attachments,
                        const std::string& name);
    const std::string& GetError() const { return error_; }

    // The vertex count of the largest chunk (0: no vertices at all).
    uint32_t GetMaxVertices() const;
    uint32_t GetNumChunks() const { return static_cast<uint32_t>(chunks_.size()); }
    const Vector3& GetPosition() const { return position_; }
    const Quaternion& GetOrientation() const { return orientation_; }
    uint32_t GetInfluencesPerVertex() const { return influencesPerVertex_; }
    uint32_t GetBonesPerChunk() const { return bonesPerChunk_; }

    const Chunk& GetChunk(uint32_t i) const { return chunks_[i]; }
    uint32_t GetNumVertices(uint32_t i) const { return static_cast<uint32_t>(chunks_[i].positions.size()); }
    uint32_t GetNumIndices(uint32_t i) const { return static_cast<uint32_t>(chunks_[i].indices.size()); }
    uint32_t GetNumFaces(uint32_t i) const { return static_cast<uint32_t>(chunks_[i].faceNormals.size()); }
    uint32_t GetNumTextureSets(uint32_t i) const { return static_cast<uint32_t>(chunks_[i].textureSets.size()); }

    // Copies into strided outputs (`stride` bytes from one vertex to the next).
    void CopyPositions(uint32_t i, uint8_t* out, uint32_t stride) const;
    void CopyNormals(uint32_t i, uint8_t* out, uint32_t stride) const;
    void CopyTextureSet(uint32_t i, uint32_t set, uint8_t* out, uint32_t stride) const;
    // Colours packed (one u32) or as four floats; a chunk without colours gives every vertex `fill`.
    void CopyColours(uint32_t i, uint8_t* out, uint32_t stride, uint32_t fill, bool packed) const;
    void CopyIndices(uint32_t i, uint16_t* out) const;
    void CopyFaceNormals(uint32_t i, float* out) const;

    const std::vector<InfluenceDefinition>& GetInfluences() const { return influences_; }
    const std::vector<Attachment>& GetAttachments() const { return attachments_; }

private:
    bool Fail(const std::string& what);
    bool ReadChunk(const ConfigData& item, Chunk& chunk);
    bool ReadMaterial(const ConfigData& item, MaterialData& material);
    bool ReadInfluence(const ConfigData& item, InfluenceDefinition& influence);

    std::string name_;
    std::string error_;
    Vector3 position_;
    Quaternion orientation_;
    uint32_t influencesPerVertex_ = 0;
    uint32_t bonesPerChunk_ = 0;
    std::vector<Chunk> chunks_;
    std::vector<InfluenceDefinition> influences_;
    std::vector<Attachment> attachments_;
};

}  // namespace Orvo
