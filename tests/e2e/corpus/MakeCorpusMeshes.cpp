// Writes the meshes of the validation sample corpus (data/samples/validation), and those of the first samples
// beside it, with the program's own mesh writers, and its animations with the engine's animation writer, from
// descriptions made here by arithmetic, so that they come out the same on every run:
//
//     make_corpus_meshes CORPUS            writes them into the corpus folder
//     make_corpus_meshes --check CORPUS    exit 0 when the corpus holds exactly what would be written
//
// CTest runs the check, so the corpus's mesh and animation files stay what this program writes.
#include "engine/Animation.h"
#include "engine/File.h"
#include "engine/MaterialManager.h"
#include "engine/OS.h"
#include "engine/RenderKernel.h"
#include "render/tests/MeshTextFiles.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct CorpusMesh
{
    std::string path;                 // relative to the corpus folder ("../" for the samples beside it)
    std::vector<std::string> levels;  // one text: an indexed mesh; more: a LOD mesh's levels
};

// The program's one-texture material, as far as a mesh file holds it: made here as a plain material that
// keeps its settings and texture names (the program's own loads the texture, which needs its file).
class TextureMaterialPlugin : public Orvo::MaterialPlugin
{
public:
    TextureMaterialPlugin()
        : MaterialPlugin(Orvo::PString("tonetexnoalpha"), Orvo::UId("4BB6C98F-6FDF-4cb9-9CE2-7E40B2A78626"))
    {}
    Orvo::Material* Create(const Orvo::PString& name, Orvo::Display*) override
    {
        return new Orvo::Material(name, GetName());
    }
};

std::string Plain(uint32_t across, uint32_t down, const std::vector<std::string>& points = {})
{
    return meshtext::GridMesh(across, down, "body.m.notex", "", points);
}

// The bones of the crossing's gate: the post, the hinge on it and the boom on the hinge.
std::string GateBones() { return meshtext::Bones({{"post", ""}, {"hinge", "post"}, {"boom", "hinge"}}); }

struct CorpusAnimation
{
    std::string path;  // relative to the corpus folder
    Orvo::Animation animation;
};

// An animation of 50 frames at 25 a second turning the bone `turned` a quarter about z in four steps, the
// other bones held where they are.
Orvo::Animation QuarterTurn(const std::vector<std::string>& held, const std::string& turned)
{
    Orvo::Animation a;
    a.frameCount = 50;
    a.framesPerSecond = 25.0f;
    for (const std::string& bone : held) a.tracks.push_back({Orvo::PString(bone), {{0, {}, {}}}});
    Orvo::AnimationTrack turn{Orvo::PString(turned), {}};
    for (uint32_t k = 0; k <= 4; ++k)
    {
        const double half = 0.5 * k * (3.14159265358979 / 8);  // half of k eighths of a half turn
        turn.keys.push_back({k * 12, {}, {0, 0, float(std::sin(half)), float(std::cos(half))}});
    }
    a.tracks.push_back(std::move(turn));
    return a;
}

std::vector<CorpusAnimation> Animations()
{
    return {
        {"mocrossing/gate/anim.kin", QuarterTurn({"post", "hinge"}, "boom")},
        // For a mutation: a track of a bone the gate does not have.
        {"mutation-files/lever.kin", QuarterTurn({"post", "hinge"}, "lever")},
    };
}

std::vector<CorpusMesh> Meshes()
{
    const std::vector<std::string> trackEnds = {"a.track0a", "a.track0b"};
    std::vector<CorpusMesh> out;
    for (const char* folder : {"traincar", "bogey", "interior", "pantograph", "drivercharacter", "bridge",
                               "double-track", "scenery-trackside", "buildable", "mospeedboard", "mosignal"})
        out.push_back({std::string(folder) + "/body.im", {Plain(2, 2)}});
    out.push_back({"tunnel/body.im", {Plain(2, 4, trackEnds)}});
    out.push_back({"mojunction/body.im", {Plain(4, 2, trackEnds)}});
    // Old crossings and turntables name their meshes by mode folders; the track ends are found in them. The
    // crossing's gate turns on its hinge bone (gate/anim.kin).
    out.push_back(
        {"mocrossing/gate/gate.im", {Plain(2, 2, {"a.track0a", "a.track0b", "a.road0a", "a.road0b"}) + GateBones()}});
    out.push_back({"turntable/base/base.im", {Plain(4, 4, {"a.track0a", "a.track0b", "a.otrack0a", "a.otrack0b"})}});
    out.push_back({"turntable/deck/deck.im", {Plain(4, 1, {"a.itrack0a", "a.itrack0b"})}});
    // A textured shed with name points (old configurations get name effects for them).
    out.push_back({"scenery/body.im",
                   {meshtext::GridMesh(2, 2, "body.m.tonetexnoalpha", "brick.texture", {"a.name0", "a.name1"})}});
    // A LOD mesh of two levels with a light, the lowest level of 300 polygons.
    out.push_back({"mesh/body.lm", {Plain(20, 10, {"a.light"}), Plain(15, 10, {"a.light"})}});
    // For mutations: a plain LOD mesh of one level of 12 polygons without points, and the shed naming a
    // texture it does not have.
    out.push_back({"mutation-files/plain.lm", {Plain(2, 3)}});
    out.push_back({"mutation-files/missing-texture.im",
                   {meshtext::GridMesh(2, 2, "body.m.tonetexnoalpha", "missing.texture", {"a.name0", "a.name1"})}});
    // The first samples beside the corpus (data/samples): their own plain meshes.
    out.push_back({"../signal-box/signalbox.im", {Plain(2, 3)}});
    out.push_back({"../platform-mesh/platform.im", {Plain(8, 1)}});
    out.push_back({"../station-building/station.im", {Plain(4, 2)}});
    out.push_back({"../builtin/base-pack/standard-track/hut.im", {Plain(2, 2)}});
    return out;
}

bool Write(Orvo::RenderKernel& kernel, const CorpusMesh& mesh, const std::string& folder, const std::string& scratch)
{
    const std::string path = folder + "/" + mesh.path;
    fs::create_directories(fs::path(path).parent_path());
    std::string why;
    const bool ok = mesh.path.size() > 3 && mesh.path.substr(mesh.path.size() - 3) == ".lm"
                        ? meshtext::WriteLODMesh(kernel, mesh.levels, "", scratch, path, why)
                        : meshtext::WriteIndexedMesh(kernel, mesh.levels.front(), path, why);
    if (!ok) std::fprintf(stderr, "%s\n", why.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool check = argc == 3 && std::string(argv[1]) == "--check";
    if (argc != 2 && !check)
    {
        std::fprintf(stderr, "usage: make_corpus_meshes [--check] CORPUS\n");
        return 2;
    }
    const std::string corpus = argv[argc - 1];
    std::string scratch = (fs::temp_directory_path() / "velmar-corpus-XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr) return 1;
    Orvo::OS os{"make_corpus_meshes", "-NullRender -LogFile=/dev/null"};
    Orvo::RenderKernel kernel{nullptr, 1.0f};
    if (!os.Init() || !kernel.Init(&os, nullptr)) return 1;
    Orvo::PluginBase::RegisterPluginType(new TextureMaterialPlugin());

    const std::string target = check ? scratch + "/out" : corpus;
    bool ok = true;
    for (const CorpusMesh& mesh : Meshes())
    {
        ok = Write(kernel, mesh, target, scratch) && ok;
        if (!check) continue;
        std::string written, held;
        if (!Orvo::File::ReadFile(target + "/" + mesh.path, written) ||
            !Orvo::File::ReadFile(corpus + "/" + mesh.path, held) || written != held)
        {
            std::fprintf(stderr, "%s is not what make_corpus_meshes writes\n", mesh.path.c_str());
            ok = false;
        }
    }
    for (const CorpusAnimation& a : Animations())
    {
        const std::string path = target + "/" + a.path;
        fs::create_directories(fs::path(path).parent_path());
        if (!a.animation.Save(path))
        {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ok = false;
        }
        std::string written, held;
        if (check && (!Orvo::File::ReadFile(path, written) || !Orvo::File::ReadFile(corpus + "/" + a.path, held) ||
                      written != held))
        {
            std::fprintf(stderr, "%s is not what make_corpus_meshes writes\n", a.path.c_str());
            ok = false;
        }
    }
    std::error_code ec;
    fs::remove_all(scratch, ec);
    return ok ? 0 : 1;
}
