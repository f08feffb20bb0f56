// A mesh definition filled from a text description ("imtxt", engine/GeometryConfigData.h) instead of
// the binary file: the same definition, without the oriented box and with no limit on the chunk count.
#include "engine/ConfigParser.h"
#include "engine/Display.h"
#include "engine/GeometryConfigData.h"
#include "engine/MaterialManager.h"
#include "engine/String.h"
#include "render/VelmarGeometryBaseResource.h"
#include "render/VelmarIndexedMeshDefinition.h"

#include <cstdlib>
#include <cstring>

using namespace Orvo;

int VelmarIndexedMeshDefinition::LoadFromConfigText(Display* display, MaterialManager* materials,
                                                    VelmarGeometryBaseResource* resource, const std::string& fileName,
                                                    uint32_t colour)
{
    const std::string path = resource ? resource->GetFilePath(fileName) : fileName;
    name_ = PString(fileName);
    ConfigParser parser;
    if (resource) parser.SetResourceKey(resource->GetName().View());
    const int parsed = parser.Parse(path);
    if (parsed == 2 || parsed == 3 || parsed == 4) return parsed;
    if (parsed != 0) return RES_UNKNOWN;
    const ConfigData* root = parser.GetRoot();
    if (root == nullptr) return RES_FILE_FORMAT_ERROR;
    return LoadFromGeometryConfig(display, materials, resource, *root, colour);
}

int VelmarIndexedMeshDefinition::LoadFromGeometryConfig(Display* display, MaterialManager* materials,
                                                        VelmarGeometryBaseResource* resource, const ConfigData& root,
                                                        uint32_t colour)
{
    if (materials == nullptr) return RES_NO_MATERIAL_MANAGER;
    display_ = display;
    materialManager_ = materials;
    resource_ = resource;
    GeometryConfigData source;
    // A description that breaks its own rules (counts that do not match, indices beyond the vertices) is
    // refused like a damaged file.
    if (!source.LoadConfigData(root, true, true, true, name_.str()) || source.GetMaxVertices() == 0)
        return RES_FILE_FORMAT_ERROR;
    capability29_ = display && display->SupportsCapability(Display::CapHardwareSkinning);
    position_ = source.GetPosition();
    orientation_ = source.GetOrientation();
    influencesPerVertex_ = source.GetInfluencesPerVertex();
    bonesPerChunk_ = source.GetBonesPerChunk();
    ResetChunks(source.GetNumChunks());
    for (uint32_t i = 0; i < source.GetNumChunks(); ++i)
    {
        if (int r = CreateMaterial(i, source)) return r;
        if (int r = CreateChunkFromSource(i, source, colour)) return r;
        ++chunkCount_;
    }
    if (int r = ReadInfluencesFromSource(source)) return r;
    if (int r = ReadAttachmentsFromSource(source)) return r;
    totalVertices_ = totalFaces_ = 0;
    for (uint32_t i = 0; i < chunkCount_; ++i)
    {
        totalVertices_ += chunks_[i]->GetNumVertices();
        totalFaces_ += chunks_[i]->GetNumFaces();
    }
    BuildBonesFromInfluences();
    ApplyInfluences();
    ComputeBounds(chunks_, chunkCount_);
    ComputeTextureDetailBias();
    return RES_OK;
}

int VelmarIndexedMeshDefinition::CreateMaterial(uint32_t index, const GeometryConfigData& source)
{
    const GeometryConfigData::MaterialData& m = source.GetChunk(index).material;
    MaterialRecord record;
    record.name = m.name;
    record.flag = m.flag != 0;
    record.opacity = m.opacity;
    record.display = m.display;
    record.display.power *= 128.0f;
    for (const Material::Texture& t : m.textures)
        record.textures.push_back({uint32_t(t.stage), ResolveTextureName(t.file.str(), resource_), t.value});
    for (const Material::Property& p : m.parameters) record.pairs.emplace_back(p.name.str(), p.value.str());
    if (record.name.empty() || record.name.Find(Material::DecoratedTypeToken) < 0)
    {
        // A name of its own, so that two meshes naming the same undecorated material get two materials.
        std::string file(name_.View());
        const size_t slash = file.find_last_of("/\\");
        if (slash != std::string::npos) file.erase(0, slash + 1);
        const size_t dot = file.rfind('.');
        if (dot != std::string::npos) file.erase(dot);
        const String unique = String::Format("VelmarIndexedMeshDefinition::CreateMaterial> *%s*%x*%s*", file.c_str(),
                                             unsigned(std::rand()), m.name.c_str());
        record.name = Material::VerifyDecoratedName(PString(unique.View()), record.textures.size());
    }
    return CreateChunkMaterial(index, record);
}

int VelmarIndexedMeshDefinition::CreateChunkFromSource(uint32_t index, const GeometryConfigData& source,
                                                       uint32_t colour)
{
    const GeometryConfigData::Chunk& c = source.GetChunk(index);
    const uint32_t vertices = source.GetNumVertices(index);
    const uint32_t indices = source.GetNumIndices(index);
    const uint32_t faces = source.GetNumFaces(index);
    const uint32_t sets = source.GetNumTextureSets(index);
    StandardChunkHint hint = MakeHint();
    hint.textureSets = sets;
    const bool floatWeights = options_.hardwareAnimationFloatPrecision.IsOn();
    const bool hardware = c.weights != 0 && influencesPerVertex_ >= 1 &&
                          influencesPerVertex_ <= hardwareInfluenceLimit_ && bonesPerChunk_ <= boneLimit_ &&
                          capability29_ && !options_.softwareAnimation.IsOn();
    if (c.weights != 0)
    {
        hint.flags |= StandardChunkHint::Skinned;
        if (hardware)
        {
            hardwareSkinning_ = true;
            hint.weights = 4;
            hint.boneLimit = boneLimit_;
            if (floatWeights) hint.flags |= StandardChunkHint::FloatWeights;
        }
        else
            hint.flags |= StandardChunkHint::SoftwareSkinning;
    }
    Material* material = materials_[index].Get();
    GeometryChunk* made = material->CreateGeometryChunk(vertices, indices / 3, indices, faces, 0, hint);
    if (made == nullptr) return RES_FILE_FORMAT_ERROR;
    AutoReference<GeometryChunk> chunk(made);
    chunks_.Append(chunk);
    chunkNames_.push_back(c.name);
    if (vertices != 0)
    {
        const VertexItemPtr position = made->GetItem(ItemPosition);
        if (!position) return RES_FAIL_CHUNK_CREATE;
        if (hardware)
        {
            const VertexItemPtr indexItem = made->GetItem(ItemBlendIndices);
            const VertexItemPtr weightItem =
                made->GetItem(floatWeights ? ItemBlendWeight1 + c.weights - 1 : ItemPackedWeights);
            if (!indexItem || !weightItem) return RES_FAIL_CHUNK_CREATE;
            for (uint32_t i = 0; i < vertices; ++i)
            {
                std::memset(indexItem.address + size_t(i) * indexItem.stride, 0, 4);
                const float first[4] = {1.0f, 0.0f, 0.0f, 0.0f};
                const uint32_t packed = 0xFF000000u;
                std::memcpy(weightItem.address + size_t(i) * weightItem.stride,
                            floatWeights ? static_cast<const void*>(first) : &packed, floatWeights ? 4 * c.weights : 4);
            }
        }
        source.CopyPositions(index, position.address, position.stride);
        for (uint32_t set = 0; set < sets; ++set)
            if (const VertexItemPtr t = made->GetItem(ItemTexture0 + set))
                source.CopyTextureSet(index, set, t.address, t.stride);
        if (indices != 0)
        {
            if (made->GetIndexArray() == nullptr) return RES_FAIL_CHUNK_CREATE;
            source.CopyIndices(index, made->GetIndexArray());
        }
        if (const VertexItemPtr n = made->GetItem(ItemNormal)) source.CopyNormals(index, n.address, n.stride);
        if (const VertexItemPtr col = made->GetItem(ItemColour))
            source.CopyColours(index, col.address, col.stride, colour, true);
        if (const VertexItemPtr col = made->GetItem(ItemColourFloat))
            source.CopyColours(index, col.address, col.stride, colour, false);
    }
    if (faces != 0)
    {
        if (made->GetFaceNormalArray() == nullptr) return RES_FAIL_CHUNK_CREATE;
        source.CopyFaceNormals(index, made->GetFaceNormalArray());
    }
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadInfluencesFromSource(const GeometryConfigData& source)
{
    influences_ = source.GetInfluences();
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadAttachmentsFromSource(const GeometryConfigData& source)
{
    attachments_.clear();
    for (const GeometryConfigData::Attachment& a : source.GetAttachments())
        attachments_.push_back({a.orientation.ToMatrix(), a.position, a.name});
    return RES_OK;
}
