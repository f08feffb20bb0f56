// A VelmarIndexedMeshLODDefinition written as a LOD mesh file ("OIRF" container, form "LODM").
#include "engine/OIRFFile.h"
#include "engine/Particle.h"
#include "render/MeshFileWriting.h"
#include "render/VelmarIndexedMeshLODDefinition.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace Orvo;

namespace {

using MFS = MeshFileSupport;
using MeshFileWriting::AppendItems;
using MeshFileWriting::WriteRGB;
using MeshFileWriting::WriteVector;

bool WriteMatrix(File& f, const Matrix3& m)
{
    for (const auto& row : m.m)
        for (float x : row)
            if (!MFS::WriteF32(f, x)) return false;
    return true;
}

}  // namespace

int VelmarIndexedMeshLODDefinition::SaveLODM(File& file)
{
    if (levels_.empty()) return RES_UNKNOWN;
    OIRFWriteHeader header(file, OIRFTag("LODM"));
    std::vector<Material*> table;
    bool ok = header.IsOk() && WriteINFO(file) && WriteMATT(file, table);
    if (ok && !bones_.empty())
        ok = WriteBONT(file);
    else if (ok && skeleton_ != nullptr)
        ok = WriteRBOT(file);
    if (ok && !attachments_.empty()) ok = WriteATCH(file);
    for (uint32_t i = 0; ok && i < levels_.size(); ++i) ok = WriteMESH(file, i, table);
    ok = header.Finish() && ok;
    return ok ? RES_OK : RES_UNKNOWN;
}

bool VelmarIndexedMeshLODDefinition::WriteINFO(File& f)
{
    OIRFChunkWriter chunk(f, OIRFTag("INFO"), 100);
    bool ok = chunk.IsOk() && WriteVector(f, position_) && MFS::WriteF32(f, orientation_.x) &&
              MFS::WriteF32(f, orientation_.y) && MFS::WriteF32(f, orientation_.z) &&
              MFS::WriteF32(f, orientation_.w) && MFS::WriteU32(f, uint32_t(levels_.size())) &&
              MFS::WriteU32(f, calcPoint_) && MFS::WriteF32(f, offset_) && MFS::WriteF32(f, multiplier_) &&
              MFS::WriteF32(f, animationCutOff_) && MFS::WriteF32(f, renderCutOff_) &&
              MFS::WriteF32(f, attachmentCutOff_) && MFS::WriteU32(f, uint32_t(attachmentMeshes_.size()));
    for (const AttachmentMeshRecord& r : attachmentMeshes_)
    {
        const uint8_t animated = r.animated ? 1 : 0;
        ok = ok && MFS::WriteU32(f, r.level) && MFS::WritePaddedString(f, r.name.View()) &&
             MFS::WriteBytes(f, &animated, 1);
    }
    return chunk.Finish() && ok;
}

bool VelmarIndexedMeshLODDefinition::WriteMATT(File& f, std::vector<Material*>& table)
{
    table.clear();
    for (const MeshChunkGroup& level : levels_)
        for (uint32_t c = 0; c < level.materials.Count(); ++c)
        {
            Material* m = level.materials[c].Get();
            if (m && std::find(table.begin(), table.end(), m) == table.end()) table.push_back(m);
        }
    OIRFChunkWriter chunk(f, OIRFTag("MATT"), 100);
    bool ok = chunk.IsOk() && MFS::WriteU32(f, uint32_t(table.size()));
    for (const Material* m : table) ok = ok && WriteMATL(f, *m);
    return chunk.Finish() && ok;
}

bool VelmarIndexedMeshLODDefinition::WriteMATL(File& f, const Material& m)
{
    OIRFChunkWriter chunk(f, OIRFTag("MATL"), 103);
    const DisplayMaterial& d = m.GetDisplayMaterial();
    bool ok = chunk.IsOk() && MFS::WritePaddedString(f, m.GetName().View()) &&
              MFS::WriteU32(f, uint32_t(m.GetNumProperties()));
    for (size_t p = 0; ok && p < m.GetNumProperties(); ++p)
        ok = MFS::WritePaddedString(f, m.GetProperty(p)->name.View()) &&
             MFS::WritePaddedString(f, m.GetProperty(p)->value.View());
    // The emissive colour is stored doubled; reading halves it.
    ok = ok && MFS::WriteU32(f, m.GetFlags() & 1u) && MFS::WriteF32(f, m.GetOpacity()) && WriteRGB(f, d.ambient) &&
         WriteRGB(f, d.diffuse) && WriteRGB(f, d.specular) && WriteRGB(f, d.emissive, 2.0f) &&
         MFS::WriteF32(f, d.power) && MFS::WriteU32(f, uint32_t(m.GetTextures().size()));
    for (const Material::Texture& t : m.GetTextures())
        ok = ok && MFS::WriteU32(f, uint32_t(t.stage)) && MFS::WritePaddedString(f, t.file.View()) &&
             MFS::WriteF32(f, t.value);
    return chunk.Finish() && ok;
}

bool VelmarIndexedMeshLODDefinition::WriteBONT(File& f)
{
    OIRFChunkWriter chunk(f, OIRFTag("BONT"), 100);
    bool ok = chunk.IsOk() && MFS::WriteU32(f, uint32_t(bones_.size()));
    for (const LODBone& b : bones_)
        ok = ok && MFS::WritePaddedString(f, b.name.View()) && MFS::WritePaddedString(f, b.parentName.View()) &&
             WriteVector(f, b.position) && WriteMatrix(f, b.orientation);
    return chunk.Finish() && ok;
}

bool VelmarIndexedMeshLODDefinition::WriteRBOT(File& f)
{
    // Depth first from the root, each node before its children; the root's parent name is empty.
    std::vector<const Particle*> nodes;
    std::vector<const Particle*> pending{skeleton_};
    while (!pending.empty())
    {
        const Particle* p = pending.back();
        pending.pop_back();
        nodes.push_back(p);
        const auto& children = p->GetChildren();
        for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(*it);
    }
    OIRFChunkWriter chunk(f, OIRFTag("RBOT"), 100);
    bool ok = chunk.IsOk() && MFS::WriteU32(f, uint32_t(nodes.size()));
    for (const Particle* p : nodes)
    {
        const PString parent = p == skeleton_ || p->GetParent() == nullptr ? PString() : p->GetParent()->GetName();
        ok = ok && MFS::WritePaddedString(f, p->GetName().View()) && MFS::WritePaddedString(f, parent.View()) &&
             WriteVector(f, p->GetLocal().position) && WriteMatrix(f, p->GetLocal().orientation.ToMatrix());
    }
    return chunk.Finish() && ok;
}

bool VelmarIndexedMeshLODDefinition::WriteATCH(File& f)
{
    OIRFChunkWriter chunk(f, OIRFTag("ATCH"), 100);
    bool ok = chunk.IsOk() && MFS::WriteU32(f, uint32_t(attachments_.size()));
    for (const AttachmentRecord& a : attachments_)
    {
        std::string name(a.name.View());
        if (std::find(cullList_.begin(), cullList_.end(), a.name) != cullList_.end()) name += ":Cull";
        ok = ok && MFS::WritePaddedString(f, name) && WriteMatrix(f, a.orientation) && WriteVector(f, a.position);
    }
    return chunk.Finish() && ok;
}

bool VelmarIndexedMeshLODDefinition::WriteMESH(File& f, uint32_t levelIndex, const std::vector<Material*>& table)
{
    const MeshChunkGroup& level = levels_[levelIndex];
    uint32_t perVertex = 0, perChunk = 0;
    for (uint32_t c = 0; c < level.chunks.Count(); ++c)
    {
        uint32_t v = 0, b = 0;
        CountInfluences(levelIndex, c, v, b);
        perVertex = std::max(perVertex, v);
        perChunk = std::max(perChunk, b);
    }
    const float distance = levelIndex < switchDistances_.size() ? switchDistances_[levelIndex] : -1.0f;
    OIRFChunkWriter chunk(f, OIRFTag("MESH"), 100);
    bool ok = chunk.IsOk() && MFS::WriteU32(f, uint32_t(level.chunks.Count())) && MFS::WriteU32(f, perVertex) &&
              MFS::WriteU32(f, perChunk) && MFS::WriteF32(f, distance);
    if (ok && !bones_.empty()) ok = WriteLODB(f, levelIndex);
    for (uint32_t c = 0; ok && c < level.chunks.Count(); ++c)
    {
        const Material* m = c < level.materials.Count() ? level.materials[c].Get() : nullptr;
        const auto at = std::find(table.begin(), table.end(), m);
        ok = at != table.end() && WriteLCHK(f, c, uint32_t(at - table.begin()), level, levelIndex);
    }
    return chunk.Finish() && ok;
}

bool VelmarIndexedMeshLODDefinition::WriteLODB(File& f, uint32_t levelIndex)
{
    OIRFChunkWriter chunk(f, OIRFTag("LODB"), 100);
    bool ok = chunk.IsOk();
    for (const LODBone& b : bones_)
    {
        static const std::vector<InfluenceGroup> none;
        const std::vector<InfluenceGroup>& groups = levelIndex < b.levels.size() ? b.levels[levelIndex] : none;
        ok = ok && MFS::WriteU32(f, uint32_t(groups.size()));
        for (const InfluenceGroup& g : groups)
        {
            ok = ok && MFS::WriteU32(f, g.chunk) && MFS::WriteU32(f, uint32_t(g.entries.size()));
            for (const InfluenceEntry& e : g.entries)
                ok = ok && MFS::WriteU32(f, e.vertex) && MFS::WriteF32(f, e.weight) && MFS::WriteF32(f, e.extra[0]) &&
                     MFS::WriteF32(f, e.extra[1]) && MFS::WriteF32(f, e.extra[2]);
        }
    }
    return chunk.Finish() && ok;
}

bool VelmarIndexedMeshLODDefinition::WriteLCHK(File& f, uint32_t slot, uint32_t materialIndex,
                                               const MeshChunkGroup& level, uint32_t levelIndex)
{
    GeometryChunk& geometry = *level.chunks[slot];
    uint32_t weights = 0, bones = 0;
    CountInfluences(levelIndex, slot, weights, bones);
    OIRFChunkWriter chunk(f, OIRFTag("LCHK"), 100);
    bool ok = chunk.IsOk() && MFS::WriteU32(f, slot) && MFS::WriteU32(f, materialIndex) &&
              WriteGEOM(f, geometry, weights, slot < level.chunkNames.size() ? level.chunkNames[slot] : PString());
    if (ok && geometry.GetNumFaceNeighbors() != 0) ok = WriteNINF(f, geometry);
    return chunk.Finish() && ok;
}

bool VelmarIndexedMeshLODDefinition::WriteGEOM(File& f, GeometryChunk& c, uint32_t weights, const PString& name)
{
    const uint32_t primitive = c.GetFlags() & GeometryChunk::PrimitiveMask;
    const bool tangents = c.HasItem(ItemTangent);
    const uint32_t faces = (primitive & 3) ? 0 : c.GetNumFaces();
    OIRFChunkWriter chunk(f, OIRFTag("GEOM"), 201);
    bool ok = chunk.IsOk() && MFS::WriteU32(f, primitive) && MFS::WriteU32(f, tangents ? 1 : 0) &&
              MFS::WriteF32(f, c.GetHintValue()) && MFS::WriteU32(f, c.GetNumVertices()) &&
              MFS::WriteU32(f, c.GetNumPrimitives()) && MFS::WriteU32(f, c.GetNumIndices()) &&
              MFS::WriteU32(f, faces) && MFS::WriteU32(f, weights) && MFS::WritePaddedString(f, name.View());
    // The blocks are gathered in memory and written whole: one write per block, not per value.
    const uint32_t vertices = c.GetNumVertices();
    std::vector<uint8_t> block;
    block.reserve(size_t(vertices) * 20);
    AppendItems(block, c, ItemPosition, 12, vertices, ItemTexture0, 8);
    ok = ok && MFS::WriteBytes(f, block.data(), block.size());
    block.clear();
    const uint16_t* indices = c.GetIndexArray();
    for (uint32_t i = 0; i < c.GetNumIndices(); ++i)
    {
        block.push_back(uint8_t(indices[i]));
        block.push_back(uint8_t(indices[i] >> 8));
    }
    AppendItems(block, c, ItemNormal, 12, vertices);
    if (faces)
    {
        const auto* normals = reinterpret_cast<const uint8_t*>(c.GetFaceNormalArray());
        block.insert(block.end(), normals, normals + 12 * size_t(faces));
    }
    if (tangents) AppendItems(block, c, ItemTangent, 12, vertices);
    ok = ok && MFS::WriteBytes(f, block.data(), block.size());
    return chunk.Finish() && ok;
}

bool VelmarIndexedMeshLODDefinition::WriteNINF(File& f, const GeometryChunk& c)
{
    OIRFChunkWriter chunk(f, OIRFTag("NINF"), 100);
    bool ok = chunk.IsOk();
    const uint32_t* records = c.GetFaceNeighborArray();
    for (uint32_t i = 0; ok && i < 3 * c.GetNumFaceNeighbors(); ++i) ok = MFS::WriteU32(f, records[i]);
    return chunk.Finish() && ok;
}
