// A VelmarIndexedMeshDefinition written as an indexed mesh file ("OIRF" container, form "IDXM"), in the
// newest layout the reader takes: INFO 102, CHNK 100 with MATL 103, GEOM 200 and NINF 100, SKEL 100 with
// its BONE 100 tree, ATCH 100.
#include "engine/OIRFFile.h"
#include "engine/Particle.h"
#include "render/MeshFileWriting.h"
#include "render/VelmarIndexedMeshDefinition.h"

#include <cstring>
#include <vector>

using namespace Orvo;

namespace {

using MFS = MeshFileSupport;
using MeshFileWriting::AppendItems;
using MeshFileWriting::WriteRGB;
using MeshFileWriting::WriteVector;

// The reader keeps only the file part of a texture name and joins it to the mesh's own folder.
std::string_view FilePart(std::string_view name)
{
    const size_t slash = name.find_last_of("/\\");
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

bool WriteMATL(File& f, const Material& m)
{
    OIRFChunkWriter chunk(f, OIRFTag("MATL"), 103);
    const DisplayMaterial& d = m.GetDisplayMaterial();
    // The name the mesh asked for: a substitute that stood in for its material keeps it as request name.
    bool ok = chunk.IsOk() && MFS::WritePaddedString(f, m.GetRequestName().View()) &&
              MFS::WriteU32(f, uint32_t(m.GetNumProperties()));
    for (size_t p = 0; ok && p < m.GetNumProperties(); ++p)
        ok = MFS::WritePaddedString(f, m.GetProperty(p)->name.View()) &&
             MFS::WritePaddedString(f, m.GetProperty(p)->value.View());
    // The emissive colour is stored doubled; reading halves it.
    ok = ok && MFS::WriteU32(f, m.GetFlags() & 1u) && MFS::WriteF32(f, m.GetOpacity()) && WriteRGB(f, d.ambient) &&
         WriteRGB(f, d.diffuse) && WriteRGB(f, d.specular) && WriteRGB(f, d.emissive, 2.0f) &&
         MFS::WriteF32(f, d.power) && MFS::WriteU32(f, uint32_t(m.GetTextures().size()));
    for (const Material::Texture& t : m.GetTextures())
        ok = ok && MFS::WriteU32(f, uint32_t(t.stage)) && MFS::WritePaddedString(f, FilePart(t.file.View())) &&
             MFS::WriteF32(f, t.value);
    return chunk.Finish() && ok;
}

bool WriteGEOM(File& f, GeometryChunk& c, const PString& name)
{
    const uint32_t primitive = c.GetFlags() & GeometryChunk::PrimitiveMask;
    const uint32_t faces = (primitive & 3) ? 0 : c.GetNumFaces();
    const uint32_t vertices = c.GetNumVertices();
    OIRFChunkWriter chunk(f, OIRFTag("GEOM"), 200);
    bool ok = chunk.IsOk() && MFS::WriteU32(f, primitive) && MFS::WriteF32(f, c.GetHintValue()) &&
              MFS::WriteU32(f, vertices) && MFS::WriteU32(f, c.GetNumPrimitives()) &&
              MFS::WriteU32(f, c.GetNumIndices()) && MFS::WriteU32(f, faces) && MFS::WriteU32(f, 0) &&
              MFS::WritePaddedString(f, name.View());
    // Blocks are gathered in memory and written whole. Version 200 has one texture set.
    std::vector<uint8_t> block;
    block.reserve(size_t(vertices) * 32);
    AppendItems(block, c, ItemPosition, 12, vertices, ItemTexture0, 8);
    const uint16_t* indices = c.GetIndexArray();
    for (uint32_t i = 0; indices && i < c.GetNumIndices(); ++i)
    {
        block.push_back(uint8_t(indices[i]));
        block.push_back(uint8_t(indices[i] >> 8));
    }
    AppendItems(block, c, ItemNormal, 12, vertices);
    if (faces)
    {
        const auto* normals = reinterpret_cast<const uint8_t*>(c.GetFaceNormalArray());
        if (normals)
            block.insert(block.end(), normals, normals + 12 * size_t(faces));
        else
            block.resize(block.size() + 12 * size_t(faces));
    }
    ok = ok && MFS::WriteBytes(f, block.data(), block.size());
    return chunk.Finish() && ok;
}

bool WriteNINF(File& f, const GeometryChunk& c)
{
    OIRFChunkWriter chunk(f, OIRFTag("NINF"), 100);
    bool ok = chunk.IsOk();
    const uint32_t* records = c.GetFaceNeighborArray();
    for (uint32_t i = 0; ok && i < 3 * c.GetNumFaceNeighbors(); ++i) ok = MFS::WriteU32(f, records[i]);
    return chunk.Finish() && ok;
}

// One bone with the bones below it, each a BONE chunk nested in its parent's: name, rest position and
// orientation, child count.
bool WriteBONE(File& f, const ParticleBone& bone, uint32_t depth)
{
    if (depth >= VelmarIndexedMeshDefinition::kMaxBoneDepth) return false;
    OIRFChunkWriter chunk(f, OIRFTag("BONE"), 100);
    const Transformation& frame = bone.GetFrame();
    const std::vector<Particle*>& children = bone.GetChildren();
    bool ok = chunk.IsOk() && MFS::WritePaddedString(f, bone.GetName().View()) && WriteVector(f, frame.position) &&
              MFS::WriteF32(f, frame.orientation.x) && MFS::WriteF32(f, frame.orientation.y) &&
              MFS::WriteF32(f, frame.orientation.z) && MFS::WriteF32(f, frame.orientation.w) &&
              MFS::WriteU32(f, uint32_t(children.size()));
    for (const Particle* child : children)
    {
        const auto* b = dynamic_cast<const ParticleBone*>(child);
        ok = ok && b != nullptr && WriteBONE(f, *b, depth + 1);
    }
    return chunk.Finish() && ok;
}

}  // namespace

int VelmarIndexedMeshDefinition::SaveIDXM(File& file)
{
    // Bone influences that weigh vertices are not written: such a mesh would come back without them. A
    // skeleton whose bones weigh nothing (chunks follow the bones of their names) is written as SKEL.
    if (chunkCount_ == 0) return RES_UNKNOWN;
    for (const InfluenceDefinition& d : influences_)
        for (const InfluenceGroup& g : d.groups)
            if (!g.entries.empty()) return RES_UNKNOWN;
    for (uint32_t i = 0; i < chunkCount_; ++i)
        if (!GetChunk(i) || !GetChunkMaterial(i)) return RES_UNKNOWN;
    OIRFWriteHeader header(file, OIRFTag("IDXM"));
    bool ok = header.IsOk();
    {
        OIRFChunkWriter info(file, OIRFTag("INFO"), 102);
        ok = ok && info.IsOk() && WriteVector(file, position_) && MFS::WriteF32(file, orientation_.x) &&
             MFS::WriteF32(file, orientation_.y) && MFS::WriteF32(file, orientation_.z) &&
             MFS::WriteF32(file, orientation_.w) && MFS::WriteU32(file, chunkCount_) &&
             MFS::WriteU32(file, influencesPerVertex_) && MFS::WriteU32(file, bonesPerChunk_);
        ok = info.Finish() && ok;
    }
    for (uint32_t i = 0; ok && i < chunkCount_; ++i)
    {
        GeometryChunk& geometry = *GetChunk(i);
        OIRFChunkWriter chunk(file, OIRFTag("CHNK"), 100);
        ok = chunk.IsOk() && MFS::WriteU32(file, 0) && WriteMATL(file, *GetChunkMaterial(i)) &&
             WriteGEOM(file, geometry, GetChunkName(i));
        if (ok && geometry.GetNumFaceNeighbors() != 0) ok = WriteNINF(file, geometry);
        ok = chunk.Finish() && ok;
    }
    if (ok && skeleton_ != nullptr)
    {
        OIRFChunkWriter chunk(file, OIRFTag("SKEL"), 100);
        ok = chunk.IsOk() && WriteBONE(file, *skeleton_, 0);
        ok = chunk.Finish() && ok;
    }
    if (ok && !attachments_.empty())
    {
        OIRFChunkWriter chunk(file, OIRFTag("ATCH"), 100);
        ok = chunk.IsOk() && MFS::WriteU32(file, uint32_t(attachments_.size()));
        for (const AttachmentRecord& a : attachments_)
        {
            ok = ok && MFS::WritePaddedString(file, a.name.View());
            for (const auto& row : a.orientation.m)
                for (float x : row) ok = ok && MFS::WriteF32(file, x);
            ok = ok && WriteVector(file, a.position);
        }
        ok = chunk.Finish() && ok;
    }
    ok = header.Finish() && ok;
    return ok ? RES_OK : RES_UNKNOWN;
}
