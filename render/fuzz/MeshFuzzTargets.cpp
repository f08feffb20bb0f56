#include "render/fuzz/MeshFuzzTargets.h"

#include "engine/Animation.h"
#include "engine/ConfigParser.h"
#include "engine/Display.h"
#include "engine/File.h"
#include "engine/MaterialManager.h"
#include "render/VelmarGeometryBaseResource.h"
#include "render/VelmarIndexedMeshLODDefinition.h"
#include "render/VelmarProgressiveMeshDefinition.h"
#include "render/VelmarResourceDatabase.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unistd.h>

using namespace Orvo;

namespace {

// A small binary mesh the text LOD descriptions can name ("hi.im"), and a text one ("tri.imtxt").
std::string TriangleMeshBytes()
{
    std::string b;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(char(v >> (8 * i)));
    };
    auto f32 = [&](float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        u32(v);
    };
    auto tag = [&](const char* t) { b.append(t, 4); };
    auto str = [&](const std::string& s) {
        u32(uint32_t(s.size()));
        b += s;
        b.append((4 - s.size() % 4) % 4, '\0');
    };
    std::vector<size_t> open;
    auto begin = [&](const char* t, uint32_t version) {
        tag(t);
        open.push_back(b.size());
        u32(0);
        u32(version);
    };
    auto end = [&]() {
        const size_t mark = open.back();
        open.pop_back();
        const uint32_t length = uint32_t(b.size() - mark - 4);
        std::memcpy(&b[mark], &length, 4);
    };
    tag("OIRF");
    open.push_back(b.size());
    u32(0);
    tag("IDXM");
    begin("INFO", 100);
    for (float f : {0.f, 0.f, 0.f, 0.f, 0.f, 0.f, 1.f}) f32(f);
    u32(1);
    end();
    begin("CHNK", 100);
    u32(0);
    begin("MATL", 103);
    str("tri.m.onetex");
    u32(0);
    u32(0);
    for (int i = 0; i < 14; ++i) f32(1.0f);
    u32(0);
    end();
    begin("GEOM", 200);
    u32(4);
    f32(0);
    for (uint32_t v : {3u, 1u, 3u, 1u, 0u}) u32(v);
    str("tri");
    for (float f : {0.f, 0.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f}) f32(f);
    for (uint16_t i : {0, 1, 2}) b.append(reinterpret_cast<const char*>(&i), 2);
    for (int i = 0; i < 4; ++i) f32(0), f32(0), f32(1);
    end();
    end();
    end();
    return b;
}

struct Context
{
    Display display{Display::Kind::Null};
    MaterialManager manager{&display};
    std::string folder;
    std::unique_ptr<VelmarResourceDatabase> database;
    VelmarGeometryBaseResource* resource = nullptr;

    Context()
    {
        MaterialManager::RegisterEngineMaterialTypes();
        char name[] = "/tmp/velmar-meshfuzz-XXXXXX";
        if (mkdtemp(name)) folder = name;
        File::WriteFile(folder + "/hi.im", TriangleMeshBytes());
        File::WriteFile(folder + "/tri.imtxt",
                        "version 1.00\nchunk\n{\nmaterial\n{\nname \"t.m.notex\"\n}\npositions 0,0,0,1,0,0,0,1,0\n"
                        "indices 0,1,2\nfaceNormals 0,0,1\n}\n");
        database = std::make_unique<VelmarResourceDatabase>(PString("meshfuzz"), folder, nullptr);
        resource = new VelmarGeometryBaseResource(PString("fuzz.lm"), database.get());
        resource->AddRef();
    }
    ~Context()
    {
        resource->Release();
        database.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

Context& TheContext()
{
    static Context context;
    return context;
}

// What a LOD mesh saved and read back must keep: levels, distances, chunks with their materials and
// names, attachment meshes and the distance rules. Chunks of the two primitive types the writer stores
// without faces are left out: the reader drops them.
std::string Summary(const VelmarIndexedMeshLODDefinition& def)
{
    std::string s = std::to_string(def.GetLevels().size()) + " levels;";
    for (float d : def.GetSwitchDistances()) s += std::to_string(d) + ",";
    for (const MeshChunkGroup& level : def.GetLevels())
    {
        s += "|";
        for (uint32_t c = 0; c < level.chunkCount; ++c)
        {
            const GeometryChunk& chunk = *level.chunks[c];
            if (chunk.GetFlags() & 3) continue;
            s += std::to_string(chunk.GetNumVertices()) + "/" + std::to_string(chunk.GetNumIndices()) + "/" +
                 level.materials[c]->GetName().str() + "/" + level.chunkNames[c].str() + ";";
        }
    }
    for (const AttachmentMeshRecord& r : def.GetAttachmentMeshes())
        s += "@" + r.name.str() + ":" + std::to_string(r.level) + ":" + std::to_string(r.animated);
    s += "#" + std::to_string(def.GetCalcPoint()) + "," + std::to_string(def.GetOffset()) + "," +
         std::to_string(def.GetMultiplier()) + "," + std::to_string(def.GetRenderCutOff()) + "," +
         std::to_string(def.GetAttachments().size()) + "," + std::to_string(def.GetBones().size());
    return s;
}

std::string Saved(VelmarIndexedMeshLODDefinition& def, const std::string& path)
{
    File out;
    if (out.Open(path, File::ModeWrite) != 0 || def.SaveLODM(out) != 0) std::abort();
    out.Close();
    std::string bytes;
    File::ReadFile(path, bytes);
    return bytes;
}

}  // namespace

const std::vector<std::string>& MeshFuzzTargetNames()
{
    static const std::vector<std::string> names{"idxm", "pm", "lodm", "lodtxt", "imtxt", "kin"};
    return names;
}

int RunMeshFuzzTarget(const std::string& target, const uint8_t* data, size_t size)
{
    Context& c = TheContext();
    c.display.ClearRecord();
    const uint32_t colour = 0xFFFFFFFFu;
    if (target == "idxm" || target == "pm")
    {
        std::unique_ptr<VelmarIndexedMeshDefinition> def;
        int r;
        if (target == "pm")
        {
            auto pm = std::make_unique<VelmarProgressiveMeshDefinition>(MeshOptions());
            pm->SetFileData(data, size, "fuzz.pm");
            r = pm->LoadHeld(&c.display, &c.manager, c.resource, colour);
            def = std::move(pm);
        }
        else
        {
            def = std::make_unique<VelmarIndexedMeshDefinition>(MeshOptions());
            def->SetFileData(data, size, "fuzz.im");
            r = def->LoadIDXM(&c.display, &c.manager, c.resource, colour);
        }
        if (r == 0 && def->CheckChunks(&c.display) != 0) std::abort();
        return r;
    }
    if (target == "lodm")
    {
        VelmarIndexedMeshLODDefinition def{MeshOptions()};
        def.SetFileData(data, size, "fuzz.lm");
        const int r = def.LoadHeldLODM(&c.display, &c.manager, nullptr, colour);
        if (r != 0) return r;
        const std::string first = Saved(def, c.folder + "/saved.lm");
        VelmarIndexedMeshLODDefinition back{MeshOptions()};
        back.SetFileData(first.data(), first.size(), "saved.lm");
        if (back.LoadHeldLODM(&c.display, &c.manager, nullptr, colour) != 0) std::abort();
        if (Summary(back) != Summary(def)) std::abort();
        return r;
    }
    if (target == "lodtxt")
    {
        File::WriteFile(c.folder + "/fuzz.lm.txt", std::string_view(reinterpret_cast<const char*>(data), size));
        VelmarIndexedMeshLODDefinition def{MeshOptions()};
        const int r = def.ReadLODDescription(&c.display, &c.manager, c.resource, "fuzz.lm.txt", colour);
        def.FinishOwnedLevels(c.resource);
        return r;
    }
    if (target == "imtxt")
    {
        ConfigParser parser;
        if (parser.ParseText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.imtxt") != 0)
            return RES_FILE_FORMAT_ERROR;
        VelmarIndexedMeshDefinition def{MeshOptions()};
        const int r = def.LoadFromGeometryConfig(&c.display, &c.manager, c.resource, *parser.GetRoot(), colour);
        if (r == 0 && def.CheckChunks(&c.display) != 0) std::abort();
        return r;
    }
    if (target == "kin")
    {
        // An accepted animation keeps the form's rules and is written back byte for byte.
        Animation animation;
        std::string reason;
        if (!animation.Read(data, size, reason)) return reason.empty() ? -1 : 3;
        if (!animation.Check().empty() || !animation.Save(c.folder + "/saved.kin")) std::abort();
        std::string written;
        if (!File::ReadFile(c.folder + "/saved.kin", written) ||
            written != std::string_view(reinterpret_cast<const char*>(data), size))
            std::abort();
        return 0;
    }
    return -1;
}
