#include "engine/GeometryConfigData.h"

#include "engine/TextCase.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace Orvo {
namespace {

// The comma-separated numbers of an item's value; false when one is not a number.
bool Numbers(const ConfigData* item, std::vector<double>& out)
{
    out.clear();
    if (item == nullptr) return true;
    const std::string& text = item->value;
    size_t at = 0;
    while (at < text.size())
    {
        size_t end = text.find(',', at);
        if (end == std::string::npos) end = text.size();
        size_t a = at, b = end;
        while (a < b && (text[a] == ' ' || text[a] == '\t')) ++a;
        while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t')) --b;
        if (a == b) return false;
        double v = 0.0;
        const char* first = text.data() + a;
        if (*first == '+') ++first;
        auto [ptr, ec] = std::from_chars(first, text.data() + b, v);
        if (ec != std::errc() || ptr != text.data() + b || !std::isfinite(v)) return false;
        out.push_back(v);
        at = end + 1;
        if (end == text.size()) break;
    }
    return true;
}

bool Vector(const ConfigData* item, Vector3& out)
{
    std::vector<double> n;
    if (item == nullptr) return true;
    if (!Numbers(item, n) || n.size() != 3) return false;
    out = Vector3(float(n[0]), float(n[1]), float(n[2]));
    return true;
}

bool Rotation(const ConfigData* item, Quaternion& out)
{
    std::vector<double> n;
    if (item == nullptr) return true;
    if (!Numbers(item, n) || n.size() != 4) return false;
    out = Quaternion(float(n[0]), float(n[1]), float(n[2]), float(n[3]));
    out.Normalise();
    return true;
}

bool Colour(const ConfigData* item, Color& out)
{
    Vector3 v(out.r, out.g, out.b);
    if (!Vector(item, v)) return false;
    out.r = v.x;
    out.g = v.y;
    out.b = v.z;
    return true;
}

bool Unsigned(const ConfigData* item, uint32_t& out, uint32_t limit)
{
    std::vector<double> n;
    if (item == nullptr) return true;
    if (!Numbers(item, n) || n.size() != 1 || n[0] < 0 || n[0] > limit || n[0] != std::floor(n[0])) return false;
    out = uint32_t(n[0]);
    return true;
}

bool Float(const ConfigData* item, float& out)
{
    std::vector<double> n;
    if (item == nullptr) return true;
    if (!Numbers(item, n) || n.size() != 1) return false;
    out = float(n[0]);
    return true;
}

bool Vectors(const ConfigData* item, std::vector<Vector3>& out)
{
    std::vector<double> n;
    if (!Numbers(item, n) || n.size() % 3 != 0) return false;
    out.resize(n.size() / 3);
    for (size_t i = 0; i < out.size(); ++i) out[i] = Vector3(float(n[3 * i]), float(n[3 * i + 1]), float(n[3 * i + 2]));
    return true;
}

void Put(uint8_t* out, uint32_t stride, size_t i, const void* value, size_t bytes)
{
    std::memcpy(out + i * stride, value, bytes);
}

}  // namespace

bool GeometryConfigData::Fail(const std::string& what)
{
    error_ = name_ + ": " + what;
    return false;
}

bool GeometryConfigData::ReadMaterial(const ConfigData& item, MaterialData& m)
{
    if (const ConfigData* n = item.Find("name")) m.name = PString(n->value);
    if (!Unsigned(item.Find("flag"), m.flag, 0xFFFFFFFFu) || !Float(item.Find("opacity"), m.opacity) ||
        !Colour(item.Find("ambient"), m.display.ambient) || !Colour(item.Find("diffuse"), m.display.diffuse) ||
        !Colour(item.Find("specular"), m.display.specular) || !Colour(item.Find("emissive"), m.display.emissive) ||
        !Float(item.Find("power"), m.display.power))
        return Fail("a material value is not a number of the right count");
    for (const ConfigData& child : item.children)
    {
        if (EqualsNoCase(child.name, "texture"))
        {
            Material::Texture t;
            uint32_t stage = 0;
            if (!Unsigned(child.Find("stage"), stage, 255) || !Float(child.Find("value"), t.value))
                return Fail("a texture entry is not valid");
            t.stage = int(stage);
            if (const ConfigData* f = child.Find("file")) t.file = PString(f->value);
            m.textures.push_back(t);
        }
        else if (EqualsNoCase(child.name, "parameter"))
        {
            const ConfigData* n = child.Find("name");
            const ConfigData* v = child.Find("value");
            m.parameters.push_back({PString(n ? n->value : ""), PString(v ? v->value : "")});
        }
    }
    return true;
}

bool GeometryConfigData::ReadChunk(const ConfigData& item, Chunk& c)
{
    if (const ConfigData* n = item.Find("name")) c.name = PString(n->value);
    if (const ConfigData* m = item.Find("material"))
    {
        if (!ReadMaterial(*m, c.material)) return false;
    }
    if (!Unsigned(item.Find("weights"), c.weights, 4)) return Fail("chunk weights must be 0 to 4");
    if (!Vectors(item.Find("positions"), c.positions)) return Fail("chunk positions are not whole vectors");
    const size_t v = c.positions.size();
    if (v > kMaxChunkVertices) return Fail("a chunk has more than 65536 vertices");
    if (!Vectors(item.Find("normals"), c.normals) || (!c.normals.empty() && c.normals.size() != v))
        return Fail("chunk normals do not match the vertices");
    for (int set = 0; set < 8; ++set)
    {
        const ConfigData* t = item.Find("texture" + std::to_string(set));
        if (t == nullptr) break;
        std::vector<double> n;
        if (!Numbers(t, n) || n.size() != 2 * v) return Fail("a texture set does not match the vertices");
        c.textureSets.emplace_back(n.begin(), n.end());
    }
    std::vector<double> n;
    if (!Numbers(item.Find("colours"), n) || (!n.empty() && n.size() != v))
        return Fail("chunk colours do not match the vertices");
    for (double d : n)
    {
        if (d < 0 || d > 4294967295.0 || d != std::floor(d)) return Fail("a colour is not a 32-bit number");
        c.colours.push_back(uint32_t(d));
    }
    if (!Numbers(item.Find("indices"), n)) return Fail("chunk indices are not numbers");
    for (double d : n)
    {
        if (d < 0 || d >= double(v) || d != std::floor(d)) return Fail("an index is not below the vertex count");
        c.indices.push_back(uint16_t(d));
    }
    if (!Vectors(item.Find("faceNormals"), c.faceNormals)) return Fail("face normals are not whole vectors");
    return true;
}

bool GeometryConfigData::ReadInfluence(const ConfigData& item, InfluenceDefinition& d)
{
    if (const ConfigData* n = item.Find("name")) d.name = PString(n->value);
    if (const ConfigData* p = item.Find("parent")) d.parentName = PString(p->value);
    Quaternion q;
    if (!Vector(item.Find("position"), d.position) || !Rotation(item.Find("orientation"), q))
        return Fail("an influence position or orientation is not valid");
    d.orientation = q.ToMatrix();
    for (const ConfigData& child : item.children)
    {
        if (!EqualsNoCase(child.name, "group")) continue;
        InfluenceGroup g;
        if (!Unsigned(child.Find("chunk"), g.chunk, 0xFFFFFFFFu) || g.chunk >= chunks_.size())
            return Fail("an influence group names no chunk");
        std::vector<double> n;
        if (!Numbers(child.Find("entries"), n) || n.size() % 5 != 0)
            return Fail("influence entries are not whole records");
        for (size_t e = 0; e < n.size(); e += 5)
        {
            if (n[e] < 0 || n[e] >= double(chunks_[g.chunk].positions.size()) || n[e] != std::floor(n[e]))
                return Fail("an influence entry names no vertex of its chunk");
            InfluenceEntry entry;
            entry.vertex = uint32_t(n[e]);
            entry.weight = float(n[e + 1]);
            for (int k = 0; k < 3; ++k) entry.extra[k] = float(n[e + 2 + k]);
            g.entries.push_back(entry);
        }
        d.groups.push_back(std::move(g));
    }
    return true;
}

bool GeometryConfigData::LoadConfigData(const ConfigData& root, bool chunks, bool influences, bool attachments,
                                        const std::string& name)
{
    *this = GeometryConfigData();
    name_ = name;
    if (!Vector(root.Find("position"), position_) || !Rotation(root.Find("orientation"), orientation_) ||
        !Unsigned(root.Find("influencesPerVertex"), influencesPerVertex_, 0xFFFFFFFFu) ||
        !Unsigned(root.Find("bonesPerChunk"), bonesPerChunk_, 0xFFFFFFFFu))
        return Fail("the mesh position, orientation or counts are not valid");
    for (const ConfigData& item : root.children)
    {
        if (chunks && EqualsNoCase(item.name, "chunk"))
        {
            chunks_.emplace_back();
            if (!ReadChunk(item, chunks_.back())) return false;
        }
    }
    for (const ConfigData& item : root.children)
    {
        if (influences && EqualsNoCase(item.name, "influence"))
        {
            influences_.emplace_back();
            if (!ReadInfluence(item, influences_.back())) return false;
        }
        else if (attachments && EqualsNoCase(item.name, "attachment"))
        {
            Attachment a;
            if (const ConfigData* n = item.Find("name")) a.name = PString(n->value);
            if (!Vector(item.Find("position"), a.position) || !Rotation(item.Find("orientation"), a.orientation))
                return Fail("an attachment position or orientation is not valid");
            attachments_.push_back(a);
        }
    }
    return true;
}

uint32_t GeometryConfigData::GetMaxVertices() const
{
    uint32_t most = 0;
    for (const Chunk& c : chunks_)
        if (c.positions.size() > most) most = static_cast<uint32_t>(c.positions.size());
    return most;
}

void GeometryConfigData::CopyPositions(uint32_t i, uint8_t* out, uint32_t stride) const
{
    const auto& p = chunks_[i].positions;
    for (size_t v = 0; v < p.size(); ++v) Put(out, stride, v, &p[v], 12);
}

void GeometryConfigData::CopyNormals(uint32_t i, uint8_t* out, uint32_t stride) const
{
    const auto& n = chunks_[i].normals;
    for (size_t v = 0; v < n.size(); ++v) Put(out, stride, v, &n[v], 12);
}

void GeometryConfigData::CopyTextureSet(uint32_t i, uint32_t set, uint8_t* out, uint32_t stride) const
{
    if (set >= chunks_[i].textureSets.size()) return;
    const auto& t = chunks_[i].textureSets[set];
    for (size_t v = 0; v + 1 < t.size(); v += 2)
    {
        const float uv[2] = {t[v], t[v + 1]};
        Put(out, stride, v / 2, uv, 8);
    }
}

void GeometryConfigData::CopyColours(uint32_t i, uint8_t* out, uint32_t stride, uint32_t fill, bool packed) const
{
    const Chunk& c = chunks_[i];
    for (size_t v = 0; v < c.positions.size(); ++v)
    {
        const uint32_t colour = c.colours.empty() ? fill : c.colours[v];
        if (packed)
            Put(out, stride, v, &colour, 4);
        else
        {
            const float f[4] = {float((colour >> 16) & 0xFF) / 255.0f, float((colour >> 8) & 0xFF) / 255.0f,
                                float(colour & 0xFF) / 255.0f, float(colour >> 24) / 255.0f};
            Put(out, stride, v, f, 16);
        }
    }
}

void GeometryConfigData::CopyIndices(uint32_t i, uint16_t* out) const
{
    const auto& idx = chunks_[i].indices;
    if (!idx.empty()) std::memcpy(out, idx.data(), idx.size() * 2);
}

void GeometryConfigData::CopyFaceNormals(uint32_t i, float* out) const
{
    const auto& f = chunks_[i].faceNormals;
    if (!f.empty()) std::memcpy(out, f.data(), f.size() * 12);
}

}  // namespace Orvo
