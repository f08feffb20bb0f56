#pragma once
// For tests only: a small builder of mesh files, written apart from the product's writer so that the
// writer can be checked against it byte for byte. Little-endian values, padded strings, chunks whose
// lengths are filled in when they end, and the two mesh forms with every field a test may change.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

class Bytes
{
public:
    std::vector<uint8_t> data;

    Bytes& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i) data.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    Bytes& U16(uint16_t v)
    {
        data.push_back(uint8_t(v));
        data.push_back(uint8_t(v >> 8));
        return *this;
    }
    Bytes& U8(uint8_t v)
    {
        data.push_back(v);
        return *this;
    }
    Bytes& F32(float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return U32(v);
    }
    Bytes& Floats(std::initializer_list<float> list)
    {
        for (float f : list) F32(f);
        return *this;
    }
    Bytes& Tag(const char* tag)
    {
        for (int i = 0; i < 4; ++i) data.push_back(uint8_t(tag[i]));
        return *this;
    }
    // u32 length, the bytes, zeros to a multiple of four.
    Bytes& Str(const std::string& s)
    {
        U32(uint32_t(s.size()));
        for (char c : s) data.push_back(uint8_t(c));
        for (size_t pad = (4 - s.size() % 4) % 4; pad > 0; --pad) data.push_back(0);
        return *this;
    }
    // A chunk: tag, length (filled by End), version.
    size_t Begin(const char* tag, uint32_t version)
    {
        Tag(tag);
        const size_t mark = data.size();
        U32(0);
        U32(version);
        return mark;
    }
    // The container: "OIRF", length (filled by End), form tag.
    size_t Form(const char* form)
    {
        Tag("OIRF");
        const size_t mark = data.size();
        U32(0);
        Tag(form);
        return mark;
    }
    void End(size_t mark)
    {
        const uint32_t length = uint32_t(data.size() - (mark + 4));
        for (int i = 0; i < 4; ++i) data[mark + i] = uint8_t(length >> (8 * i));
    }
};

// One triangle: (0,0,0), (1,0,0), (0,1,0), texture coordinates (0,0), (1,0), (0,1).
struct TriangleGeom
{
    uint32_t version = 200;
    uint32_t primitive = 4;  // triangle list
    uint32_t vertices = 3;
    uint32_t primitives = 1;
    uint32_t faces = 1;
    std::vector<uint16_t> indices{0, 1, 2};
    uint32_t weights = 0;
    uint32_t textureSets = 1;  // versions 103 to 199 of the indexed form
    std::string name = "tri";
    bool lodLayout = false;      // the LOD form's version gates
    uint32_t extra = 0;          // version 201
    float shift[3] = {0, 0, 0};  // added to every position
};

inline TriangleGeom LodGeom()
{
    TriangleGeom g;
    g.version = 201;
    g.lodLayout = true;
    return g;
}

inline void WriteGeom(Bytes& b, const TriangleGeom& g)
{
    const size_t m = b.Begin("GEOM", g.version);
    b.U32(g.primitive);
    if (g.version == 201) b.U32(g.extra);
    b.F32(0.5f).U32(g.vertices).U32(g.primitives).U32(uint32_t(g.indices.size())).U32(g.faces);
    const bool sets = !g.lodLayout && g.version >= 103 && g.version <= 199;
    if (sets) b.U32(g.textureSets);
    if (g.version >= 102) b.U32(g.weights);
    if (g.version >= (g.lodLayout ? 103u : 200u)) b.Str(g.name);
    const float pos[3][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const float uv[3][2] = {{0, 0}, {1, 0}, {0, 1}};
    for (uint32_t v = 0; v < g.vertices; ++v)
    {
        b.Floats({pos[v % 3][0] + g.shift[0], pos[v % 3][1] + g.shift[1], pos[v % 3][2] + g.shift[2]});
        for (uint32_t s = 0; s < (sets ? g.textureSets : 1); ++s) b.Floats({uv[v % 3][0], uv[v % 3][1]});
    }
    for (uint16_t i : g.indices) b.U16(i);
    for (uint32_t v = 0; v < g.vertices; ++v) b.Floats({0, 0, 1});
    if (!g.lodLayout && g.version >= 104 && g.version <= 199)
        for (uint32_t v = 0; v < g.vertices; ++v) b.U32(0xFF808080u);
    for (uint32_t f = 0; f < g.faces; ++f) b.Floats({0, 0, 1});
    if (g.version == 201 && (g.extra & 1))
        for (uint32_t v = 0; v < g.vertices; ++v) b.Floats({1, 0, 0});
    b.End(m);
}

struct MaterialSpec
{
    uint32_t version = 103;
    std::string name = "hull.m.onetex";
    std::vector<std::pair<std::string, std::string>> pairs{{"Shine", "2"}};
    uint32_t flag = 1;
    float opacity = 0.75f;
    float colours[4][3] = {{0.1f, 0.2f, 0.3f}, {0.4f, 0.5f, 0.6f}, {0.7f, 0.8f, 0.9f}, {1.0f, 0.5f, 0.25f}};
    float power = 40.0f;
    std::vector<std::string> textures{"hull.texture"};
};

inline void WriteMaterial(Bytes& b, const MaterialSpec& m)
{
    const size_t at = b.Begin("MATL", m.version);
    b.Str(m.name).U32(uint32_t(m.pairs.size()));
    for (const auto& [k, v] : m.pairs) b.Str(k).Str(v);
    b.U32(m.flag).F32(m.opacity);
    for (const auto& c : m.colours) b.Floats({c[0], c[1], c[2]});
    b.F32(m.power).U32(uint32_t(m.textures.size()));
    for (size_t t = 0; t < m.textures.size(); ++t) b.U32(uint32_t(t)).Str(m.textures[t]).F32(1.0f);
    b.End(at);
}

// An indexed mesh: INFO, then one CHNK (MATL + GEOM) per chunk, then what `tail` appends.
struct IndexedMeshSpec
{
    uint32_t infoVersion = 100;
    uint32_t chunkCount = 1;
    uint32_t chunkVersion = 100;
    std::vector<TriangleGeom> chunks{TriangleGeom{}};
    MaterialSpec material;
    uint32_t influencesPerVertex = 0;
    uint32_t bonesPerChunk = 0;
};

inline Bytes BuildIndexedMesh(const IndexedMeshSpec& s, const std::function<void(Bytes&)>& tail = {})
{
    Bytes b;
    const size_t form = b.Form("IDXM");
    const size_t info = b.Begin("INFO", s.infoVersion);
    b.Floats({1, 2, 3}).Floats({0, 0, 0, 1}).U32(s.chunkCount);
    if (s.infoVersion >= 102) b.U32(s.influencesPerVertex).U32(s.bonesPerChunk);
    if (s.infoVersion == 104) b.Floats({0, 0, 0, 0, 0, 0});
    b.End(info);
    for (const TriangleGeom& g : s.chunks)
    {
        const size_t c = b.Begin("CHNK", s.chunkVersion);
        b.U32(0);
        WriteMaterial(b, s.material);
        WriteGeom(b, g);
        b.End(c);
    }
    if (tail) tail(b);
    b.End(form);
    return b;
}

// A LOD mesh: INFO with the attachment mesh records, MATT with one material, one MESH per distance with
// one triangle chunk each.
struct LODMeshSpec
{
    std::vector<float> distances{0.0f};
    std::vector<std::pair<uint32_t, std::string>> attachmentMeshes;  // level, point name
    MaterialSpec material;
    TriangleGeom geom = LodGeom();
    uint32_t infoVersion = 100;
    uint32_t meshVersion = 100;
    bool emptyLODB = false;
    uint32_t calcPoint = 1;
    bool bones = false;                    // BONT with "root" and "arm", each weighing vertex 0 of every level by 0.5
    std::vector<uint32_t> boneVertices;    // per level, the vertex the bones weigh (vertex 0 where not given)
    bool rbot = false;                     // RBOT with "root" and "arm"
    std::vector<std::string> attachments;  // ATCH points
};

inline Bytes BuildLODMesh(const LODMeshSpec& s)
{
    Bytes b;
    const size_t form = b.Form("LODM");
    const size_t info = b.Begin("INFO", s.infoVersion);
    b.Floats({1, 2, 3}).Floats({0, 0, 0, 1}).U32(uint32_t(s.distances.size())).U32(s.calcPoint);
    b.Floats({0.5f, 1.5f, 10.0f, 2000.0f, 300.0f}).U32(uint32_t(s.attachmentMeshes.size()));
    for (const auto& [level, name] : s.attachmentMeshes) b.U32(level).Str(name).U8(1);
    b.End(info);
    const size_t matt = b.Begin("MATT", 100);
    b.U32(1);
    WriteMaterial(b, s.material);
    b.End(matt);
    const char* const bones[2][2] = {{"root", ""}, {"arm", "root"}};
    if (s.bones || s.rbot)
    {
        const size_t m = b.Begin(s.bones ? "BONT" : "RBOT", 100);
        b.U32(2);
        for (const auto& bone : bones)
            b.Str(bone[0]).Str(bone[1]).Floats({0, 1, 0}).Floats({1, 0, 0, 0, 1, 0, 0, 0, 1});
        b.End(m);
    }
    if (!s.attachments.empty())
    {
        const size_t m = b.Begin("ATCH", 100);
        b.U32(uint32_t(s.attachments.size()));
        for (const std::string& a : s.attachments) b.Str(a).Floats({1, 0, 0, 0, 1, 0, 0, 0, 1}).Floats({0, 0, 2});
        b.End(m);
    }
    for (size_t i = 0; i < s.distances.size(); ++i)
    {
        const size_t mesh = b.Begin("MESH", s.meshVersion);
        b.U32(1).U32(s.bones ? 2 : 0).U32(s.bones ? 2 : 0).F32(s.distances[i]);
        if (s.emptyLODB) b.End(b.Begin("LODB", 100));
        if (s.bones)
        {
            const size_t m = b.Begin("LODB", 100);
            const uint32_t vertex = i < s.boneVertices.size() ? s.boneVertices[i] : 0;
            for (int bone = 0; bone < 2; ++bone) b.U32(1).U32(0).U32(1).U32(vertex).Floats({0.5f, 0, 0, 0});
            b.End(m);
        }
        const size_t lchk = b.Begin("LCHK", 100);
        b.U32(0).U32(0);
        WriteGeom(b, s.geom);
        b.End(lchk);
        b.End(mesh);
    }
    b.End(form);
    return b;
}
