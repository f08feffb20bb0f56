// The LOD mesh file ("OIRF" container, form "LODM") read into a VelmarIndexedMeshLODDefinition.
#include "engine/Display.h"
#include "engine/MaterialManager.h"
#include "engine/OIRFFile.h"
#include "engine/Particle.h"
#include "render/VelmarGeometryBaseResource.h"
#include "render/VelmarIndexedMeshLODDefinition.h"

#include <cmath>

using namespace Orvo;

namespace {

bool ReadVector(MemoryFile& f, Vector3& v) { return f.Read(v.x) && f.Read(v.y) && f.Read(v.z); }

bool ReadMatrix(MemoryFile& f, Matrix3& m)
{
    for (auto& row : m.m)
        for (float& x : row)
            if (!f.Read(x)) return false;
    return true;
}

}  // namespace

int VelmarIndexedMeshLODDefinition::LoadLODM(Display* display, MaterialManager* materials,
                                             VelmarGeometryBaseResource* resource, const std::string& fileName,
                                             uint32_t colour)
{
    capability29_ = display && display->SupportsCapability(Display::CapHardwareSkinning);
    if (int r = OpenMeshFile(resource, fileName)) return r;
    return LoadHeldLODM(display, materials, resource, colour);
}

int VelmarIndexedMeshLODDefinition::LoadHeldLODM(Display* display, MaterialManager* materials,
                                                 VelmarGeometryBaseResource* resource, uint32_t colour)
{
    display_ = display;
    materialManager_ = materials;
    resource_ = resource;
    capability29_ = display && display->SupportsCapability(Display::CapHardwareSkinning);
    if (file_.Size() == 0) return RES_FILE_OPEN_ERROR;
    file_.Seek(0);
    uint32_t form = 0;
    if (!OIRFFile::ReadHeader(file_, form, formEnd_) || form != OIRFTag("LODM")) return RES_FILE_FORMAT_ERROR;
    if (int r = ReadINFO()) return r;
    if (int r = ReadMATT()) return r;
    if (int r = ReadBONT()) return r;
    if (int r = ReadRBOT()) return r;
    if (file_.PeekTag("ATCH"))
        if (int r = ReadAttachmentChunk()) return r;
    for (LODBone& b : bones_) b.levels.assign(levelCount_, {});
    levels_.clear();
    levels_.reserve(levelCount_);
    switchDistances_.clear();
    for (uint32_t i = 0; i < levelCount_; ++i)
    {
        levels_.emplace_back();
        if (int r = ReadMESH(i, colour)) return r;
    }
    if (switchDistances_.empty()) return RES_FILE_FORMAT_ERROR;
    for (MeshChunkGroup& level : levels_)
    {
        level.vertexCount = level.faceCount = 0;
        for (uint32_t c = 0; c < level.chunkCount; ++c)
        {
            level.vertexCount += level.chunks[c]->GetNumVertices();
            level.faceCount += level.chunks[c]->GetNumFaces();
        }
    }
    if (file_.Tell() != formEnd_) return RES_FILE_FORMAT_ERROR;
    materialTable_.clear();
    FinishBinaryLoad();
    file_.Close();
    return RES_OK;
}

int VelmarIndexedMeshLODDefinition::ReadINFO()
{
    uint32_t version = 0, records = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("INFO", version, end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    // Vector A is the mesh position, vector B and the scale its orientation, as the indexed mesh stores them.
    if (!ReadVector(file_, position_) || !file_.Read(orientation_.x) || !file_.Read(orientation_.y) ||
        !file_.Read(orientation_.z) || !file_.Read(orientation_.w) || !file_.Read(levelCount_) ||
        !file_.Read(calcPoint_) || !file_.Read(offset_) || !file_.Read(multiplier_) || !file_.Read(animationCutOff_) ||
        !file_.Read(renderCutOff_) || !file_.Read(attachmentCutOff_) || !file_.Read(records))
        return RES_FILE_FORMAT_ERROR;
    // A MESH chunk takes at least 28 bytes and a record 8.
    const size_t left = formEnd_ > file_.Tell() ? formEnd_ - file_.Tell() : 0;
    if (levelCount_ > left / 28 || records > left / 8) return RES_FILE_FORMAT_ERROR;
    attachmentMeshes_.clear();
    for (uint32_t i = 0; i < records; ++i)
    {
        AttachmentMeshRecord record;
        uint8_t animated = 0;
        if (!file_.Read(record.level) || !ReadPaddedString(file_, record.name)) return RES_FILE_FORMAT_ERROR;
        file_.Read(animated);  // beyond the data: not animated
        record.animated = animated != 0;
        attachmentMeshes_.push_back(record);
    }
    return file_.Tell() == end ? RES_OK : RES_FILE_FORMAT_ERROR;
}

int VelmarIndexedMeshLODDefinition::ReadMATT()
{
    uint32_t version = 0, count = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("MATT", version, end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    if (!file_.Read(count)) return RES_FILE_FORMAT_ERROR;
    if (count > (end - std::min(end, file_.Tell())) / 84)
        return RES_FILE_FORMAT_ERROR;  // a MATL takes 84 bytes or more
    materialTable_.clear();
    materialTable_.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        if (int r = ReadTableMATL()) return r;
    return file_.Tell() == end ? RES_OK : RES_FILE_FORMAT_ERROR;
}

int VelmarIndexedMeshLODDefinition::ReadTableMATL()
{
    uint32_t version = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("MATL", version, end)) return r;
    if (version != 103) return RES_FILE_VERSION_ERROR;
    MaterialRecord record;
    if (int r = ReadMaterialFields(record, version, false)) return r;
    AutoReference<Material> material;
    if (materialManager_ != nullptr)
    {
        int answer = 0;
        Material* made = materialManager_->CreateMaterial(record.name, &answer);
        if (made == nullptr)
            return answer == MaterialManager::CannotMake ? RES_UNSUPPORTED_MATERIAL : RES_UNKNOWN_MATERIAL;
        material = made;
        made->Release();
    }
    else
    {
        auto* null = new NullMaterial(record.name);
        null->SetCreationType(MaterialManager::TypeOf(record.name));
        material = null;
    }
    material->SetDisplayMaterialProperties(record.display);
    material->SetFlags(uint8_t((material->GetFlags() & ~1u) | (record.flag ? 1u : 0u)));
    material->SetOpacity(record.opacity);
    ResourceDatabase* database = resource_ ? resource_->GetDatabase() : nullptr;
    const std::string resourceName = resource_ ? resource_->GetName().str() : std::string();
    for (const MeshTextureEntry& t : record.textures)
        material->SetTexture(int(t.stage), database, t.file, t.value, resourceName);
    for (const auto& [name, value] : record.pairs) material->SetParameter(PString(value), PString(name));
    materialTable_.push_back(material);
    return RES_OK;
}

int VelmarIndexedMeshLODDefinition::ReadBONT()
{
    if (!file_.PeekTag("BONT")) return RES_OK;
    uint32_t version = 0, count = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("BONT", version, end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    if (!file_.Read(count)) return RES_FILE_FORMAT_ERROR;
    if (count > file_.Remaining() / 56) return RES_FILE_FORMAT_ERROR;  // a bone takes 56 bytes or more
    bones_.clear();
    bones_.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
    {
        LODBone bone;
        if (!ReadPaddedString(file_, bone.name) || !ReadPaddedString(file_, bone.parentName) ||
            !ReadVector(file_, bone.position) || !ReadMatrix(file_, bone.orientation))
            return RES_FILE_FORMAT_ERROR;
        bones_.push_back(std::move(bone));
    }
    return file_.Tell() == end ? RES_OK : RES_FILE_FORMAT_ERROR;
}

int VelmarIndexedMeshLODDefinition::ReadRBOT()
{
    if (!file_.PeekTag("RBOT")) return RES_OK;
    uint32_t version = 0, count = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("RBOT", version, end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    if (!file_.Read(count)) return RES_FILE_FORMAT_ERROR;
    if (count > file_.Remaining() / 56) return RES_FILE_FORMAT_ERROR;
    ParticleBone* root = nullptr;
    for (uint32_t i = 0; i < count; ++i)
    {
        PString name, parentName;
        Vector3 position;
        Matrix3 orientation;
        if (!ReadPaddedString(file_, name) || !ReadPaddedString(file_, parentName) || !ReadVector(file_, position) ||
            !ReadMatrix(file_, orientation))
        {
            Particle::DeleteTree(root);
            return RES_FILE_FORMAT_ERROR;
        }
        if (root == nullptr && !parentName.empty()) return RES_FILE_FORMAT_ERROR;
        auto* bone = new ParticleBone();
        bone->SetName(name);
        bone->SetPosition(position);
        bone->SetOrientation(Quaternion(orientation));
        bone->SetBoundingBox(AxisBox(Vector3(-0.01f, -0.01f, -0.01f), Vector3(0.01f, 0.01f, 0.01f)), true);
        if (root == nullptr)
            root = bone;
        else if (parentName.empty())
            root->AddChild(bone);
        else
        {
            Particle* parent = root->FindByName(parentName);
            (parent ? parent : root)->AddChild(bone);
        }
    }
    if (file_.Tell() != end)
    {
        Particle::DeleteTree(root);
        return RES_FILE_FORMAT_ERROR;
    }
    if (root) SetSkeleton(root);
    return RES_OK;
}

int VelmarIndexedMeshLODDefinition::ReadMESH(uint32_t levelIndex, uint32_t colour)
{
    uint32_t version = 0, count = 0, perVertex = 0, perChunk = 0;
    float distance = 0.0f;
    size_t end = 0;
    if (int r = ReadChunkHeader("MESH", version, end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    if (!file_.Read(count) || !file_.Read(perVertex) || !file_.Read(perChunk) || !file_.Read(distance))
        return RES_FILE_FORMAT_ERROR;
    if (count > (end - std::min(end, file_.Tell())) / 56)
        return RES_FILE_FORMAT_ERROR;  // an LCHK takes 56 bytes or more
    MeshChunkGroup& level = levels_[levelIndex];
    level.chunkCount = count;
    influencesPerVertex_ = perVertex;
    bonesPerChunk_ = perChunk;
    level.skinning = perVertex >= 1 && perVertex <= hardwareInfluenceLimit_ && perChunk <= 25 && capability29_ &&
                     !options_.softwareAnimation.IsOn();
    if (distance == -1.0f)
    {
        bool named = false;
        for (const AttachmentMeshRecord& r : attachmentMeshes_) named = named || r.level == levelIndex;
        if (!named) return RES_FILE_FORMAT_ERROR;
    }
    else
    {
        // Switch-distance levels come first, in order; a distance that is not a number has no order.
        if (std::isnan(distance) || (!switchDistances_.empty() && !(distance >= switchDistances_.back())))
            return RES_FILE_FORMAT_ERROR;
        switchDistances_.push_back(distance);
        if (levelIndex != switchDistances_.size() - 1) return RES_FILE_FORMAT_ERROR;
    }
    level.chunks.Create(count);
    level.materials.Create(count);
    if (int r = ReadLODB(levelIndex)) return r;
    for (uint32_t j = 0; j < level.chunkCount;)
    {
        if (int r = ReadLCHK(j, level, colour)) return r;
        GeometryChunk* chunk = level.chunks[j].Get();
        if (chunk->GetNumVertices() == 0 || chunk->GetNumFaces() == 0 || chunk->GetNumIndices() == 0)
        {
            level.chunks.RemoveLast();
            level.materials.RemoveLast();
            level.chunkNames.pop_back();
            --level.chunkCount;
            continue;
        }
        ++j;
    }
    return file_.Tell() == end ? RES_OK : RES_FILE_FORMAT_ERROR;
}

int VelmarIndexedMeshLODDefinition::ReadLODB(uint32_t levelIndex)
{
    if (!file_.PeekTag("LODB")) return RES_OK;
    uint32_t version = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("LODB", version, end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    for (LODBone& bone : bones_)
        if (!ReadInfluenceGroups(bone.levels[levelIndex], true)) return RES_FILE_FORMAT_ERROR;
    return file_.Tell() == end ? RES_OK : RES_FILE_FORMAT_ERROR;
}

int VelmarIndexedMeshLODDefinition::ReadLCHK(uint32_t slot, MeshChunkGroup& level, uint32_t colour)
{
    uint32_t version = 0, index = 0, material = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("LCHK", version, end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    if (!file_.Read(index) || !file_.Read(material)) return RES_FILE_FORMAT_ERROR;
    if (material >= materialTable_.size()) return RES_FILE_FORMAT_ERROR;  // names no material of the table
    if (slot < level.materials.Count())
        level.materials[slot] = materialTable_[material];
    else
        level.materials.Append(materialTable_[material]);
    if (int r = ReadLevelGEOM(slot, level, materialTable_[material].Get(), colour)) return r;
    if (file_.Tell() < end)
        if (int r = ReadLevelNINF(slot, level)) return r;
    return file_.Tell() == end ? RES_OK : RES_FILE_FORMAT_ERROR;
}

int VelmarIndexedMeshLODDefinition::ReadLevelGEOM(uint32_t slot, MeshChunkGroup& level, Material* material,
                                                  uint32_t colour)
{
    uint32_t version = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("GEOM", version, end)) return r;
    if (version < 101 || version > 201) return RES_FILE_VERSION_ERROR;
    GeomLayout layout;
    layout.version = version;
    layout.textureSetCount = false;
    layout.colours = false;
    layout.nameFromVersion200 = false;
    layout.bounded = false;
    layout.skipToEnd = false;
    layout.hardware = level.skinning;
    AutoReference<GeometryChunk> chunk;
    PString name;
    if (int r = ReadGeometry(layout, end, material, colour, chunk, name)) return r;
    if (slot < level.chunks.Count())
        level.chunks[slot] = chunk;
    else
        level.chunks.Append(chunk);
    level.chunkNames.push_back(name);
    return RES_OK;
}

int VelmarIndexedMeshLODDefinition::ReadLevelNINF(uint32_t slot, MeshChunkGroup& level)
{
    if (!file_.PeekTag("NINF")) return RES_OK;
    uint32_t version = 0;
    size_t end = 0;
    if (int r = ReadChunkHeader("NINF", version, end)) return r;
    if (version != 100) return RES_FILE_VERSION_ERROR;
    return ReadNeighbours(level.chunks[slot].Get());
}
