// The indexed mesh file ("OIRF" container, form "IDXM") read into a VelmarIndexedMeshDefinition.
#include "engine/Display.h"
#include "engine/MaterialManager.h"
#include "engine/OIRFFile.h"
#include "engine/Particle.h"
#include "render/VelmarGeometryBaseResource.h"
#include "render/VelmarIndexedMeshDefinition.h"

#include <bit>
#include <cstring>

using namespace Orvo;

namespace {

// The creation type code of a file's primitive flags (bits 0-4); -1 for a value with no type.
int PrimitiveTypeCode(uint32_t flags)
{
    switch (flags & 0x1F)
    {
    case 0: return 5;
    case 1: return 3;
    case 2: return 4;
    case 4: return 0;
    case 8: return 1;
    case 16: return 2;
    default: return -1;
    }
}

bool ReadVector(MemoryFile& f, Vector3& v) { return f.Read(v.x) && f.Read(v.y) && f.Read(v.z); }

bool ReadMatrix(MemoryFile& f, Matrix3& m)
{
    for (auto& row : m.m)
        for (float& x : row)
            if (!f.Read(x)) return false;
    return true;
}

bool ReadColour(MemoryFile& f, Color& c) { return f.Read(c.r) && f.Read(c.g) && f.Read(c.b); }

// Copies `count` items of `bytes` each from packed file data into strided item storage.
void Scatter(const uint8_t* from, size_t fromStride, VertexItemPtr to, size_t bytes, size_t count)
{
    for (size_t v = 0; v < count; ++v) std::memcpy(to.address + v * to.stride, from + v * fromStride, bytes);
}

}  // namespace

void VelmarIndexedMeshDefinition::SetFileData(const void* data, size_t size, const std::string& name)
{
    file_.Open(data, size, name);
}

int VelmarIndexedMeshDefinition::ReadChunkHeader(const char tag[4], uint32_t& version, size_t& end)
{
    uint32_t length = 0;
    if (!file_.PeekTag(tag)) return RES_FILE_FORMAT_ERROR;
    file_.Skip(4);
    if (!file_.Read(length)) return RES_FILE_FORMAT_ERROR;
    end = file_.Tell() + length;
    if (length > formEnd_ - std::min(formEnd_, file_.Tell())) return RES_FILE_FORMAT_ERROR;
    if (!file_.Read(version)) return RES_FILE_FORMAT_ERROR;
    return RES_OK;
}

StandardChunkHint VelmarIndexedMeshDefinition::MakeHint() const
{
    StandardChunkHint hint(StandardChunkHint::UsageStatic, 0);
    if (options_.softwareLighting.IsOn()) hint.flags |= StandardChunkHint::SoftwareLighting;
    hint.vertexUsage = options_.dynamicVertex.present ? uint32_t(options_.dynamicVertex.value)
                                                      : uint32_t(StandardChunkHint::UsageStatic);
    hint.indexUsage = options_.dynamicIndex.present ? uint32_t(options_.dynamicIndex.value)
                                                    : uint32_t(StandardChunkHint::UsageStatic);
    return hint;
}

void VelmarIndexedMeshDefinition::ResetChunks(uint32_t capacity)
{
    chunks_.Create(capacity);
    materials_.Create(capacity);
    chunkNames_.clear();
    pendingTextures_.clear();
    chunkCount_ = 0;
}

int VelmarIndexedMeshDefinition::LoadIDXM(Display* display, MaterialManager* materials,
                                          VelmarGeometryBaseResource* resource, uint32_t colour)
{
    if (materials == nullptr) return RES_NO_MATERIAL_MANAGER;
    display_ = display;
    materialManager_ = materials;
    resource_ = resource;
    capability29_ = display && display->SupportsCapability(Display::CapHardwareSkinning);
    boneLimit_ = capability29_ ? 24 : 25;
    if (file_.Size() == 0) return RES_FILE_OPEN_ERROR;
    if (int r = ReadForm(colour, false)) return r;
    BuildBonesFromInfluences();
    ApplyInfluences();
    ComputeBounds(chunks_, chunkCount_);
    ComputeTextureDetailBias();
    BuildOrientedBox(chunks_, chunkCount_);
    file_.Close();
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadForm(uint32_t colour, bool progressive)
{
    file_.Seek(0);
    uint32_t form = 0;
    if (!OIRFFile::ReadHeader(file_, form, formEnd_) || form != OIRFTag("IDXM")) return RES_FILE_FORMAT_ERROR;
    if (int r = ReadINFO()) return r;
    // Without the chunk limit a count is still bounded by the data: a chunk takes at least 100 bytes.
    const size_t left = formEnd_ > file_.Tell() ? formEnd_ - file_.Tell() : 0;
    if (progressive ? chunkCount_ > left / 100 : chunkCount_ > kMaxChunks) return RES_FILE_FORMAT_ERROR;

    const uint32_t announced = chunkCount_;
    ResetChunks(announced);
    for (uint32_t read = 0; read < announced; ++read)
    {
        const uint32_t index = chunkCount_;
        if (int r = ReadCHNK(index, colour)) return r;
        GeometryChunk* chunk = chunks_[index].Get();
        if (chunk->GetNumVertices() == 0 || chunk->GetNumFaces() == 0 || chunk->GetNumIndices() == 0)
        {
            // An empty chunk is dropped; the next one takes its place.
            chunks_.RemoveLast();
            materials_.RemoveLast();
            chunkNames_.pop_back();
            pendingTextures_.pop_back();
            continue;
        }
        ++chunkCount_;
    }
    if (file_.Tell() < formEnd_)
        if (int r = ReadINFLOrSKEL()) return r;
    if (file_.Tell() < formEnd_)
        if (int r = ReadATCH()) return r;
    if (progressive && file_.Tell() < formEnd_)
        if (int r = ReadPMIN()) return r;

    totalVertices_ = totalFaces_ = 0;
    for (uint32_t i = 0; i < chunkCount_; ++i)
    {
        totalVertices_ += chunks_[i]->GetNumVertices();
        totalFaces_ += chunks_[i]->GetNumFaces();
    }
    return file_.Tell() == formEnd_ ? RES_OK : RES_FILE_FORMAT_ERROR;
}

int VelmarIndexedMeshDefinition::ReadPMIN()
{
    uint32_t version = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("PMIN", version, end)) return r;
    if (version != 101) return RES_FILE_VERSION_ERROR;
    uint32_t a = 0, b = 0, c = 0, d = 0;
    if (!file_.Read(a) || !file_.Read(b) || !file_.Read(c) || !file_.Read(d)) return RES_FILE_FORMAT_ERROR;
    // What the four blocks describe is not kept: they are only read past, once their size is known to fit.
    const uint64_t bytes = 4 * uint64_t(a) + 16 * uint64_t(b) + 8 * uint64_t(c) + 4 * uint64_t(d);
    if (bytes > file_.Remaining()) return RES_FILE_FORMAT_ERROR;
    file_.Skip(size_t(bytes));
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadINFO()
{
    // The INFO length is not used: reading goes on behind its last field.
    if (!file_.PeekTag("INFO")) return RES_FILE_FORMAT_ERROR;
    file_.Skip(4);
    uint32_t length = 0, version = 0;
    if (!file_.Read(length) || !file_.Read(version)) return RES_FILE_FORMAT_ERROR;
    if (version < 100 || version > 104) return RES_FILE_VERSION_ERROR;
    uint32_t count = 0;
    if (!ReadVector(file_, position_) || !file_.Read(orientation_.x) || !file_.Read(orientation_.y) ||
        !file_.Read(orientation_.z) || !file_.Read(orientation_.w) || !file_.Read(count))
        return RES_FILE_FORMAT_ERROR;
    if (version >= 102 && (!file_.Read(influencesPerVertex_) || !file_.Read(bonesPerChunk_)))
        return RES_FILE_FORMAT_ERROR;
    if (version == 104 && !file_.Skip(24)) return RES_FILE_FORMAT_ERROR;
    chunkCount_ = count;
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadCHNK(uint32_t index, uint32_t colour)
{
    uint32_t version = 0, reserved = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("CHNK", version, end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    if (!file_.Read(reserved)) return RES_FILE_FORMAT_ERROR;
    if (int r = ReadMATL(index)) return r;
    if (int r = ReadGEOM(index, colour)) return r;
    // The CHNK length only decides whether a NINF may follow.
    if (file_.Tell() < end && file_.PeekTag("NINF")) return ReadNINF(index);
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadMaterialFields(MaterialRecord& record, uint32_t version, bool limitPairs)
{
    (void)version;
    if (!ReadPaddedString(file_, record.name)) return RES_FILE_FORMAT_ERROR;
    uint32_t pairs = 0;
    if (!file_.Read(pairs)) return RES_FILE_FORMAT_ERROR;
    // Each pair takes at least eight bytes: a count beyond what remains cannot be right.
    if ((limitPairs && pairs > kMaxPairs) || pairs > file_.Remaining() / 8) return RES_FILE_FORMAT_ERROR;
    record.pairs.reserve(pairs);
    for (uint32_t p = 0; p < pairs; ++p)
    {
        std::string name, value;
        if (!ReadPaddedString(file_, name) || !ReadPaddedString(file_, value)) return RES_FILE_FORMAT_ERROR;
        record.pairs.emplace_back(std::move(name), std::move(value));
    }
    uint32_t flag = 0, textures = 0;
    DisplayMaterial& d = record.display;
    if (!file_.Read(flag) || !file_.Read(record.opacity) || !ReadColour(file_, d.ambient) ||
        !ReadColour(file_, d.diffuse) || !ReadColour(file_, d.specular) || !ReadColour(file_, d.emissive) ||
        !file_.Read(d.power) || !file_.Read(textures))
        return RES_FILE_FORMAT_ERROR;
    record.flag = flag != 0;
    if (textures > file_.Remaining() / 12) return RES_FILE_FORMAT_ERROR;
    record.textures.reserve(textures);
    for (uint32_t t = 0; t < textures; ++t)
    {
        MeshTextureEntry entry;
        std::string file;
        if (!file_.Read(entry.stage) || !ReadPaddedString(file_, file) || !file_.Read(entry.value))
            return RES_FILE_FORMAT_ERROR;
        entry.file = ResolveTextureName(file, resource_);
        record.textures.push_back(entry);
    }
    d.emissive = Color(d.emissive.r * 0.5f, d.emissive.g * 0.5f, d.emissive.b * 0.5f, d.emissive.a * 0.5f);
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadMATL(uint32_t index)
{
    if (!file_.PeekTag("MATL")) return RES_FILE_FORMAT_ERROR;
    file_.Skip(4);
    uint32_t length = 0, version = 0;
    if (!file_.Read(length) || !file_.Read(version)) return RES_FILE_FORMAT_ERROR;
    if (version != 102 && version != 103) return RES_FILE_VERSION_ERROR;
    MaterialRecord record;
    if (int r = ReadMaterialFields(record, version, true)) return r;
    if (version == 102)
    {
        record.display.specular = Color(0.0f, 0.0f, 0.0f, 0.0f);
        record.display.power = 10.0f;
    }
    else if (record.display.power < 10.0f)
        record.display.power = 10.0f;
    return CreateChunkMaterial(index, record);
}

int VelmarIndexedMeshDefinition::ReadGEOM(uint32_t index, uint32_t colour)
{
    uint32_t version = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("GEOM", version, end)) return r;
    if (version < 101 || version > 201) return RES_FILE_VERSION_ERROR;
    GeomLayout layout;
    layout.version = version;
    layout.textureSetCount = true;
    layout.colours = true;
    layout.hardware = influencesPerVertex_ >= 1 && influencesPerVertex_ <= hardwareInfluenceLimit_ &&
                      bonesPerChunk_ <= boneLimit_ && capability29_ && !options_.softwareAnimation.IsOn();
    AutoReference<GeometryChunk> chunk;
    PString name;
    if (int r = ReadGeometry(layout, end, materials_[index].Get(), colour, chunk, name)) return r;
    if (index < chunks_.Count())
        chunks_[index] = chunk;
    else
        chunks_.Append(chunk);
    if (index < chunkNames_.size())
        chunkNames_[index] = name;
    else
        chunkNames_.push_back(name);
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadGeometry(const GeomLayout& layout, size_t end, Material* material, uint32_t colour,
                                              AutoReference<GeometryChunk>& chunk, PString& chunkName)
{
    const uint32_t v = layout.version;
    uint32_t primitiveFlags = 0, extraFlags = 0, vertices = 0, primitives = 0, indices = 0, faces = 0;
    uint32_t textureSets = 1, weights = 0;
    float hintValue = 0.0f;
    if (!file_.Read(primitiveFlags) || (v == 201 && !file_.Read(extraFlags)) || !file_.Read(hintValue) ||
        !file_.Read(vertices) || !file_.Read(primitives) || !file_.Read(indices) || !file_.Read(faces))
        return RES_FILE_FORMAT_ERROR;
    if (layout.textureSetCount && v >= 103 && v <= 199 && !file_.Read(textureSets)) return RES_FILE_FORMAT_ERROR;
    if (v >= 102 && !file_.Read(weights)) return RES_FILE_FORMAT_ERROR;
    chunkName = PString();
    if (v >= (layout.nameFromVersion200 ? 200u : 103u) && !ReadPaddedString(file_, chunkName))
        return RES_FILE_FORMAT_ERROR;
    if (layout.bounded &&
        (vertices > kMaxElements || primitives > kMaxElements || indices > kMaxElements || faces > kMaxElements))
        return RES_FILE_FORMAT_ERROR;
    // Eight texture coordinate item types and four weights are all a vertex can hold.
    if (textureSets > 8 || weights > 4) return RES_FILE_FORMAT_ERROR;
    const int typeCode = PrimitiveTypeCode(primitiveFlags);
    if (typeCode < 0) return RES_FILE_FORMAT_ERROR;
    const bool colours = layout.colours && v >= 104 && v <= 199;
    const bool extras = v == 201 && (extraFlags & 1);

    // Everything the counts announce must lie before the chunk's end: checked before anything is made.
    const uint64_t record = 12 + 8 * uint64_t(textureSets);
    const uint64_t need = uint64_t(vertices) * record + 2 * uint64_t(indices) + 12 * uint64_t(vertices) +
                          (colours ? 4 * uint64_t(vertices) : 0) + 12 * uint64_t(faces) +
                          (extras ? 12 * uint64_t(vertices) : 0);
    if (end < file_.Tell() || need > end - file_.Tell()) return RES_FILE_FORMAT_ERROR;
    if (material == nullptr) return RES_FAIL_CHUNK_CREATE;

    StandardChunkHint hint = MakeHint();
    hint.value = hintValue;
    hint.textureSets = textureSets;
    hint.extraVectors = extras;
    const bool floatWeights = options_.hardwareAnimationFloatPrecision.IsOn();
    const bool hardware = weights != 0 && layout.hardware;
    if (weights != 0)
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
    GeometryChunk* made = material->CreateGeometryChunk(vertices, primitives, indices, faces, uint32_t(typeCode), hint);
    if (made == nullptr) return RES_FILE_FORMAT_ERROR;
    chunk = made;

    const uint8_t* data = file_.Data() + file_.Tell();
    if (vertices != 0)
    {
        const VertexItemPtr position = made->GetItem(ItemPosition);
        if (!position) return RES_FAIL_CHUNK_CREATE;
        if (hardware)
        {
            const VertexItemPtr indexItem = made->GetItem(ItemBlendIndices);
            const VertexItemPtr weightItem =
                made->GetItem(floatWeights ? ItemBlendWeight1 + weights - 1 : ItemPackedWeights);
            if (!indexItem || !weightItem) return RES_FAIL_CHUNK_CREATE;
            for (uint32_t i = 0; i < vertices; ++i)
            {
                std::memset(indexItem.address + size_t(i) * indexItem.stride, 0, 4);
                uint8_t* w = weightItem.address + size_t(i) * weightItem.stride;
                if (floatWeights)
                {
                    const float first[4] = {1.0f, 0.0f, 0.0f, 0.0f};
                    std::memcpy(w, first, 4 * weights);
                }
                else
                {
                    const uint32_t packed = 0xFF000000u;
                    std::memcpy(w, &packed, 4);
                }
            }
        }
        Scatter(data, record, position, 12, vertices);
        if (const VertexItemPtr c = made->GetItem(ItemColour))
            for (uint32_t i = 0; i < vertices; ++i) std::memcpy(c.address + size_t(i) * c.stride, &colour, 4);
        for (uint32_t set = 0; set < textureSets; ++set)
            if (const VertexItemPtr t = made->GetItem(ItemTexture0 + set))
                Scatter(data + 12 + 8 * set, record, t, 8, vertices);
        data += vertices * record;
    }
    if (indices != 0)
    {
        uint16_t* out = made->GetIndexArray();
        if (out == nullptr) return RES_FAIL_CHUNK_CREATE;
        for (uint32_t i = 0; i < indices; ++i)
        {
            const uint16_t index = uint16_t(data[2 * i] | data[2 * i + 1] << 8);
            if (index >= vertices) return RES_FILE_FORMAT_ERROR;  // never written to the chunk
            out[i] = index;
        }
        data += 2 * size_t(indices);
    }
    if (const VertexItemPtr n = made->GetItem(ItemNormal)) Scatter(data, 12, n, 12, vertices);
    data += 12 * size_t(vertices);
    if (colours)
    {
        if (const VertexItemPtr c = made->GetItem(ItemColour))
        {
            std::vector<uint32_t> converted(vertices);
            std::memcpy(converted.data(), data, 4 * size_t(vertices));
            if (display_) display_->ConvertColorArray(converted.data(), converted.size());
            Scatter(reinterpret_cast<const uint8_t*>(converted.data()), 4, c, 4, vertices);
        }
        data += 4 * size_t(vertices);
    }
    if (faces != 0)
    {
        float* out = made->GetFaceNormalArray();
        if (out == nullptr) return RES_FAIL_CHUNK_CREATE;
        std::memcpy(out, data, 12 * size_t(faces));
        data += 12 * size_t(faces);
    }
    if (extras)
    {
        if (const VertexItemPtr e = made->GetItem(ItemTangent)) Scatter(data, 12, e, 12, vertices);
        data += 12 * size_t(vertices);
    }
    const size_t at = size_t(data - file_.Data());
    if (!layout.skipToEnd && at != end) return RES_FILE_FORMAT_ERROR;
    file_.Seek(layout.skipToEnd ? end : at);
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadNeighbours(GeometryChunk* chunk)
{
    const uint32_t faces = chunk ? chunk->GetNumFaces() : 0;
    if (faces == 0) return RES_OK;
    if (uint64_t(faces) * 12 > file_.Remaining()) return RES_FILE_FORMAT_ERROR;
    std::vector<uint32_t> records(size_t(faces) * 3);
    for (uint32_t& r : records) file_.Read(r);
    chunk->SetFaceNeighborArray(records.data(), faces);
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadNINF(uint32_t index)
{
    uint32_t version = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("NINF", version, end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    return ReadNeighbours(chunks_[index].Get());
}

int VelmarIndexedMeshDefinition::ReadINFLOrSKEL()
{
    const bool infl = file_.PeekTag("INFL");
    if (!infl && !file_.PeekTag("SKEL"))
    {
        return RES_OK;  // neither: the position stays at the tag
    }
    uint32_t version = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader(infl ? "INFL" : "SKEL", version, end)) return r;
    // Such a chunk of another version is not read, and cannot be stepped over: the form ends wrong.
    if (version != 100) return RES_FILE_FORMAT_ERROR;
    if (!infl)
    {
        if (int r = ReadBONE(nullptr, 0)) return r;
        return file_.Tell() == end ? RES_OK : RES_FILE_FORMAT_ERROR;
    }
    uint32_t count = 0;
    if (!file_.Read(count)) return RES_FILE_FORMAT_ERROR;
    if (count > kMaxInfluences) count = 0;
    influences_.clear();
    for (uint32_t d = 0; d < count; ++d)
    {
        InfluenceDefinition def;
        if (!ReadPaddedString(file_, def.name) || !ReadPaddedString(file_, def.parentName) ||
            !ReadVector(file_, def.position) || !ReadMatrix(file_, def.orientation) ||
            !ReadInfluenceGroups(def.groups, false))  // an empty group is dropped
            return RES_FILE_FORMAT_ERROR;
        influences_.push_back(std::move(def));
    }
    return file_.Tell() == end ? RES_OK : RES_FILE_FORMAT_ERROR;
}

bool VelmarIndexedMeshDefinition::ReadInfluenceGroups(std::vector<InfluenceGroup>& out, bool keepEmpty)
{
    static_assert(std::endian::native == std::endian::little, "influence entries are read as they lie in the file");
    uint32_t groups = 0;
    if (!file_.Read(groups) || groups > file_.Remaining() / 8) return false;
    for (uint32_t g = 0; g < groups; ++g)
    {
        InfluenceGroup group;
        uint32_t entries = 0;
        if (!file_.Read(group.chunk) || !file_.Read(entries)) return false;
        if (entries > file_.Remaining() / sizeof(InfluenceEntry)) return false;
        group.entries.resize(entries);
        file_.ReadBytes(group.entries.data(), entries * sizeof(InfluenceEntry));
        if (entries != 0 || keepEmpty) out.push_back(std::move(group));
    }
    return true;
}

int VelmarIndexedMeshDefinition::ReadBONE(ParticleBone* parent, uint32_t depth)
{
    if (depth >= kMaxBoneDepth) return RES_FILE_FORMAT_ERROR;
    uint32_t version = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("BONE", version, end)) return r;
    if (version != 1 && version != 20 && version != 50 && version != 100 && version != 102)
        return RES_FILE_VERSION_ERROR;
    PString name;
    Vector3 position;
    Quaternion orientation;
    uint32_t children = 0;
    if (!ReadPaddedString(file_, name) || !ReadVector(file_, position) || !file_.Read(orientation.x) ||
        !file_.Read(orientation.y) || !file_.Read(orientation.z) || !file_.Read(orientation.w) || !file_.Read(children))
        return RES_FILE_FORMAT_ERROR;
    auto* bone = new ParticleBone();
    bone->SetName(name);
    bone->SetFramePosition(position);
    bone->SetFrameOrientation(orientation);
    bone->SetBoundingBox(AxisBox(Vector3(-0.01f, -0.01f, -0.01f), Vector3(0.01f, 0.01f, 0.01f)), true);
    if (parent)
        parent->AddChild(bone);
    else
        SetSkeleton(bone);
    // A child BONE takes at least 48 bytes.
    if (children > file_.Remaining() / 48) return RES_FILE_FORMAT_ERROR;
    for (uint32_t c = 0; c < children; ++c)
        if (int r = ReadBONE(bone, depth + 1)) return r;
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadAttachmentChunk()
{
    uint32_t version = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("ATCH", version, end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    uint32_t count = 0;
    if (!file_.Read(count)) return RES_FILE_FORMAT_ERROR;
    // Each point takes at least 52 bytes.
    if (count > file_.Remaining() / 52) return RES_FILE_FORMAT_ERROR;
    attachments_.clear();
    attachments_.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
    {
        AttachmentRecord a;
        if (!ReadPaddedString(file_, a.name) || !ReadMatrix(file_, a.orientation) || !ReadVector(file_, a.position))
            return RES_FILE_FORMAT_ERROR;
        attachments_.push_back(a);
    }
    return RES_OK;
}

int VelmarIndexedMeshDefinition::ReadATCH()
{
    if (!file_.PeekTag("ATCH")) return RES_OK;  // not there: the position stays at the tag
    return ReadAttachmentChunk();
}

int VelmarIndexedMeshDefinition::CreateChunkMaterial(uint32_t index, const MaterialRecord& record)
{
    AutoReference<Material> material;
    if (materialManager_ != nullptr)
    {
        int answer = 0;
        Material* made = materialManager_->CreateMaterial(record.name, &answer);
        if (made == nullptr)
        {
            if (resource_) resource_->AddMissingMaterial(record.name);
            if (resource_ == nullptr || !resource_->AllowsSubstitutes())
                return answer == MaterialManager::CannotMake ? RES_UNSUPPORTED_MATERIAL : RES_UNKNOWN_MATERIAL;
            PString base, type;
            if (MaterialManager::SplitDecoratedMaterialName(record.name, base, type))
                made = materialManager_->CreateMaterial(type, &answer);
            if (made == nullptr) return RES_UNKNOWN_MATERIAL;
            made->SetRequestName(record.name);
        }
        material = made;
        made->Release();
    }
    else
    {
        auto* null = new NullMaterial(record.name);
        null->SetCreationType(MaterialManager::TypeOf(record.name));
        material = null;
    }
    if (resource_) material->SetResourcePriority(resource_->GetLoadingPriority());
    material->SetDisplayMaterialProperties(record.display);
    material->SetFlags(uint8_t((material->GetFlags() & ~1u) | (record.flag ? 1u : 0u)));
    material->SetOpacity(record.opacity);
    for (const auto& [name, value] : record.pairs) material->SetParameter(PString(value), PString(name));
    if (index < materials_.Count())
        materials_[index] = material;
    else
        materials_.Append(material);
    pendingTextures_.push_back({record.textures, material});
    return RES_OK;
}
