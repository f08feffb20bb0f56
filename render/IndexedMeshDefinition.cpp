// VelmarIndexedMeshDefinition: construction, materials at load completion, the chunk check, attachment
// points, and the engine's questions about the mesh.
#include "engine/File.h"
#include "engine/Particle.h"
#include "engine/ResourceDatabase.h"
#include "render/MeshCollisionGeometry.h"
#include "render/OverlappedResource.h"
#include "render/VLAxisBoxTree.h"
#include "render/VelmarGeometryBaseResource.h"
#include "render/VelmarIndexedMeshDefinition.h"

#include <cstring>

using namespace Orvo;

VelmarIndexedMeshDefinition::VelmarIndexedMeshDefinition(const MeshOptions& options) : options_(options) {}

VelmarIndexedMeshDefinition::~VelmarIndexedMeshDefinition()
{
    // A background build still reads the chunks: it is finished (or cancelled) first.
    collisionRequest_.reset();
    collisionTree_.reset();
    builtTree_.reset();
    collisionGeometry_.reset();
    SetSkeleton(nullptr);
}

void VelmarIndexedMeshDefinition::SetSkeleton(ParticleBone* root)
{
    if (skeleton_ != nullptr && skeleton_ != root) Particle::DeleteTree(skeleton_);
    skeleton_ = root;
    if (root == nullptr) influenceBones_.clear();
}

int VelmarIndexedMeshDefinition::OpenMeshFile(VelmarGeometryBaseResource* resource, const std::string& fileName)
{
    const std::string path = resource ? resource->GetFilePath(fileName) : fileName;
    const size_t slash = fileName.find_last_of("/\\");
    name_ = PString(slash == std::string::npos ? fileName : fileName.substr(slash + 1));
    File file;
    if (file.Open(path, File::ModeRead) != File::Ok) return RES_FILE_OPEN_ERROR;
    if (!file_.Open(file, resource ? resource->GetName().View() : std::string_view(fileName)))
        return RES_FILE_OPEN_ERROR;
    return RES_OK;
}

PString VelmarIndexedMeshDefinition::ResolveTextureName(const std::string& file, VelmarGeometryBaseResource* resource)
{
    const size_t slash = file.find_last_of("/\\");
    std::string path = (resource ? resource->GetNameFolder() : std::string()) +
                       (slash == std::string::npos ? file : file.substr(slash + 1));
    for (char& c : path)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return PString(path);
}

void VelmarIndexedMeshDefinition::FinishMaterials(VelmarGeometryBaseResource* resource)
{
    ResourceDatabase* database = resource ? resource->GetDatabase() : nullptr;
    const std::string resourceName = resource ? resource->GetName().str() : std::string();
    for (const PendingTextures& pending : pendingTextures_)
        for (const MeshTextureEntry& t : pending.textures)
        {
            const int result = pending.material->SetTexture(int(t.stage), database, t.file, t.value, resourceName);
            if (result != 0 && !(result == 2 && (pending.material->GetFlags() & 0x08)))
                missingTextures_.push_back({pending.material->GetRequestName(), t.file});
        }
    pendingTextures_.clear();
}

int VelmarIndexedMeshDefinition::CheckChunks(Display* display)
{
    if (display == nullptr) return RES_OK;
    int result = RES_OK;
    for (uint32_t i = 0; i < chunks_.Count(); ++i)
        if (chunks_[i] && !chunks_[i]->Check(display)) result = RES_FILE_DATA_ERROR;
    return result;
}

PString VelmarIndexedMeshDefinition::GetChunkName(uint32_t i) const
{
    return i < chunkCount_ && i < chunkNames_.size() ? chunkNames_[i] : PString();
}

void VelmarIndexedMeshDefinition::MountAttachmentPoints(ParticleStructure& instance) const
{
    for (const AttachmentRecord& a : attachments_)
    {
        if (a.name.empty() || (a.name[0] != 'a' && a.name[0] != 'A')) continue;
        PString first, second;
        ReferencePoint::GetSubNames(a.name, first, second);
        Vector3 position = a.position;
        Quaternion orientation(a.orientation);
        // A point whose second name is a bone of the instance's skeleton is given in that bone's frame.
        Particle* bone = skeleton_ && !second.empty() ? instance.FindByName(second) : nullptr;
        if (bone) bone->GlobalToLocal(position, orientation);
        instance.AddAttachmentPoint(new AttachmentPoint(first, second, position, orientation), bone != nullptr);
    }
}

size_t VelmarIndexedMeshDefinition::GetMemorySize() const
{
    size_t size = 264 + 52 * attachments_.size() + 300 * influences_.size();
    for (uint32_t i = 0; i < chunks_.Count(); ++i)
        if (const GeometryChunk* c = chunks_[i].Get())
            size += size_t(c->GetNumVertices()) * c->GetVertexSize() + 2 * size_t(c->GetNumIndices());
    return size;
}

// ---- the engine's questions ----

uint32_t VelmarIndexedMeshDefinition::GetChunkVertexCount(uint32_t i) const
{
    const GeometryChunk* c = GetChunk(i);
    return c ? c->GetNumVertices() : 0;
}

uint32_t VelmarIndexedMeshDefinition::GetChunkIndexCount(uint32_t i) const
{
    const GeometryChunk* c = GetChunk(i);
    return c ? c->GetNumIndices() : 0;
}

uint32_t VelmarIndexedMeshDefinition::GetChunkPrimitiveCount(uint32_t i) const
{
    const GeometryChunk* c = GetChunk(i);
    return c ? c->GetNumPrimitives() : 0;
}

uint32_t VelmarIndexedMeshDefinition::GetChunkTextureSetCount(uint32_t i) const
{
    const GeometryChunk* c = GetChunk(i);
    return c && c->GetVertexType() ? c->GetVertexType()->GetTextureSetCount() : 0;
}

uint32_t VelmarIndexedMeshDefinition::GetChunkMaxInfluences(uint32_t i) const
{
    const GeometryChunk* c = GetChunk(i);
    if (c == nullptr || influences_.empty()) return 0;
    std::vector<uint32_t> perVertex(c->GetNumVertices());
    uint32_t most = 0;
    for (const InfluenceDefinition& d : influences_)
        for (const InfluenceGroup& g : d.groups)
            if (g.chunk == i)
                for (const InfluenceEntry& e : g.entries)
                    if (e.vertex < perVertex.size()) most = std::max(most, ++perVertex[e.vertex]);
    return most;
}

namespace {
bool CopyItem(GeometryChunk* c, uint32_t item, size_t bytes, uint8_t* out, uint32_t stride)
{
    if (c == nullptr || out == nullptr) return false;
    const VertexItemPtr p = c->GetItem(item);
    if (!p) return false;
    for (uint32_t v = 0; v < c->GetNumVertices(); ++v)
        std::memcpy(out + size_t(v) * stride, p.address + size_t(v) * p.stride, bytes);
    return true;
}
}  // namespace

bool VelmarIndexedMeshDefinition::CopyChunkPositions(uint32_t i, uint8_t* out, uint32_t stride) const
{
    return CopyItem(GetChunk(i), ItemPosition, 12, out, stride);
}

bool VelmarIndexedMeshDefinition::CopyChunkNormals(uint32_t i, uint8_t* out, uint32_t stride) const
{
    return CopyItem(GetChunk(i), ItemNormal, 12, out, stride);
}

bool VelmarIndexedMeshDefinition::CopyChunkTextureSet(uint32_t i, uint32_t set, uint8_t* out, uint32_t stride) const
{
    // The set-th texture set the chunk has.
    GeometryChunk* c = GetChunk(i);
    if (c == nullptr) return false;
    uint32_t seen = 0;
    for (uint32_t item = ItemTexture0; item <= ItemTexture7; ++item)
        if (c->HasItem(item) && seen++ == set) return CopyItem(c, item, 8, out, stride);
    return false;
}

bool VelmarIndexedMeshDefinition::CopyChunkIndices(uint32_t i, uint16_t* out) const
{
    const GeometryChunk* c = GetChunk(i);
    if (c == nullptr || out == nullptr) return false;
    if (c->GetNumIndices()) std::memcpy(out, c->GetIndexArray(), 2 * size_t(c->GetNumIndices()));
    return true;
}

bool VelmarIndexedMeshDefinition::CopyChunkColours(uint32_t i, uint8_t* out, uint32_t stride, uint32_t fill,
                                                   bool packed) const
{
    GeometryChunk* c = GetChunk(i);
    if (c == nullptr || out == nullptr) return false;
    if (CopyItem(c, packed ? ItemColour : ItemColourFloat, packed ? 4 : 16, out, stride)) return true;
    const float f[4] = {float((fill >> 16) & 0xFF) / 255.0f, float((fill >> 8) & 0xFF) / 255.0f,
                        float(fill & 0xFF) / 255.0f, float(fill >> 24) / 255.0f};
    for (uint32_t v = 0; v < c->GetNumVertices(); ++v)
        std::memcpy(out + size_t(v) * stride, packed ? static_cast<const void*>(&fill) : f, packed ? 4 : 16);
    return true;
}

bool VelmarIndexedMeshDefinition::CopyChunkFaceNormals(uint32_t i, float* out) const
{
    const GeometryChunk* c = GetChunk(i);
    if (c == nullptr || out == nullptr) return false;
    if (c->GetNumFaces() && c->GetFaceNormalArray())
        std::memcpy(out, c->GetFaceNormalArray(), 12 * size_t(c->GetNumFaces()));
    return true;
}

PString VelmarIndexedMeshDefinition::GetMaterialRequestName(uint32_t i) const
{
    const Material* m = GetChunkMaterial(i);
    return m ? m->GetRequestName() : PString();
}

std::vector<Material::Texture> VelmarIndexedMeshDefinition::GetMaterialTextures(uint32_t i) const
{
    const Material* m = GetChunkMaterial(i);
    return m ? m->GetTextures() : std::vector<Material::Texture>();
}

bool VelmarIndexedMeshDefinition::GetMaterialFlag(uint32_t i) const
{
    const Material* m = GetChunkMaterial(i);
    return m && (m->GetFlags() & 1);
}

float VelmarIndexedMeshDefinition::GetMaterialOpacity(uint32_t i) const
{
    const Material* m = GetChunkMaterial(i);
    return m ? m->GetOpacity() : 0.0f;
}

bool VelmarIndexedMeshDefinition::GetDisplayMaterial(uint32_t i, DisplayMaterial& out) const
{
    const Material* m = GetChunkMaterial(i);
    if (m) out = m->GetDisplayMaterial();
    return m != nullptr;
}

uint32_t VelmarIndexedMeshDefinition::GetMaterialPropertyCount(uint32_t i) const
{
    const Material* m = GetChunkMaterial(i);
    return m ? uint32_t(m->GetNumProperties()) : 0;
}

std::string VelmarIndexedMeshDefinition::GetMaterialPropertyText(uint32_t i, uint32_t n, int which) const
{
    const Material* m = GetChunkMaterial(i);
    const Material::Property* p = m ? m->GetProperty(n) : nullptr;
    if (p == nullptr) return std::string();
    return which == 0 ? p->name.str() : p->value.str();
}

PString VelmarIndexedMeshDefinition::GetInfluenceName(uint32_t i) const
{
    return i < influences_.size() ? influences_[i].name : PString();
}

PString VelmarIndexedMeshDefinition::GetInfluenceParentName(uint32_t i) const
{
    return i < influences_.size() ? influences_[i].parentName : PString();
}

Vector3 VelmarIndexedMeshDefinition::GetInfluencePosition(uint32_t i) const
{
    return i < influences_.size() ? influences_[i].position : Vector3();
}

Quaternion VelmarIndexedMeshDefinition::GetInfluenceOrientation(uint32_t i) const
{
    return i < influences_.size() ? Quaternion(influences_[i].orientation) : Quaternion();
}

uint32_t VelmarIndexedMeshDefinition::GetInfluenceGroupCount(uint32_t i) const
{
    return i < influences_.size() ? uint32_t(influences_[i].groups.size()) : 0;
}

uint32_t VelmarIndexedMeshDefinition::GetInfluenceGroupChunk(uint32_t i, uint32_t g) const
{
    return g < GetInfluenceGroupCount(i) ? influences_[i].groups[g].chunk : 0;
}

uint32_t VelmarIndexedMeshDefinition::GetInfluenceGroupEntryCount(uint32_t i, uint32_t g) const
{
    return g < GetInfluenceGroupCount(i) ? uint32_t(influences_[i].groups[g].entries.size()) : 0;
}

bool VelmarIndexedMeshDefinition::CopyInfluenceGroupEntries(uint32_t i, uint32_t g, InfluenceEntry* out) const
{
    if (g >= GetInfluenceGroupCount(i) || out == nullptr) return false;
    const auto& entries = influences_[i].groups[g].entries;
    std::copy(entries.begin(), entries.end(), out);
    return true;
}

PString VelmarIndexedMeshDefinition::GetAttachmentName(uint32_t i) const
{
    return i < attachments_.size() ? attachments_[i].name : PString();
}

Quaternion VelmarIndexedMeshDefinition::GetAttachmentOrientation(uint32_t i) const
{
    return i < attachments_.size() ? Quaternion(attachments_[i].orientation) : Quaternion();
}

Vector3 VelmarIndexedMeshDefinition::GetAttachmentPosition(uint32_t i) const
{
    return i < attachments_.size() ? attachments_[i].position : Vector3();
}
