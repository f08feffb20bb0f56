// Turntable and crossing meshes and the tracks attached to them, for old assets.
#include "validation/DataManager.h"
#include "validation/ValidationHooks.h"
#include "validation/upgrade/OldAssetBuilders.h"

#include <memory>
#include <string>

namespace TETLib {
namespace {

// A mesh has far fewer track ends than this.
constexpr int kMaxTracks = 1024;

std::string Joined(std::string_view folder, std::string_view name)
{
    Orvo::File::Path path(folder);
    path.AddPath(name);
    return path.str();
}

// The mesh an entry of the tree's mesh table names, loaded for its attachment points; null when the entry
// names none or it does not load.
std::unique_ptr<ValidationMesh> LoadEntryMesh(DataManager& manager, const TDBTagRef& tree, const char* entry)
{
    const std::string mesh = tree.GetChildContainer("mesh-table").GetChildContainer(entry).GetChildString("mesh").str();
    if (mesh.empty()) return nullptr;
    return manager.LoadMesh(Joined(manager.GetAssetFolder().View(), mesh));
}

// Adds one attached-track entry for every pair of points "a.<word><i>a" / "a.<word><i>b" from i = 0 up to
// the first pair that is not complete, named "<name><i + 1>".
void AddTracks(TDBTagRef& tracks, const ValidationMesh& mesh, const std::string& word, const std::string& name,
               const KUID& track, int useAdjoining)
{
    for (int i = 0; i < kMaxTracks; ++i)
    {
        const std::string first = "a." + word + std::to_string(i) + "a";
        const std::string second = "a." + word + std::to_string(i) + "b";
        if (!mesh.HasAttachmentPoint(first) || !mesh.HasAttachmentPoint(second)) return;
        TDBTagRef entry = TDBTagRef::NewContainer();
        entry.SetChildKUID("track", track);
        TDBTagRef vertices = TDBTagRef::NewContainer();
        vertices.SetChildString("0", first);
        vertices.SetChildString("1", second);
        entry.SetChildTag("vertices", vertices);
        entry.SetChildInt("useadjoiningtracktype", useAdjoining);
        tracks.SetChildTag(name + std::to_string(i + 1), entry);
    }
}

// "<mode>/<mode>.im", the mode's own tag name standing in for a mode left empty.
std::string ModeMesh(const std::string& mode, const char* tagName)
{
    return Joined(mode, (mode.empty() ? std::string(tagName) : mode) + ".im");
}

}  // namespace

void BuildTurntableMeshTable(DataManager& manager, TDBTagRef& tree)
{
    if (!tree.HasChild("mesh-table"))
    {
        const std::string m0 = tree.GetChildString("mode0").str();
        const std::string m1 = tree.GetChildString("mode1").str();
        TDBTagRef table = TDBTagRef::NewContainer();
        TDBTagRef base = TDBTagRef::NewContainer();
        base.SetChildString("mesh", ModeMesh(m0, "mode0"));
        base.SetChildInt("auto-create", 1);
        table.SetChildTag("default", base);
        TDBTagRef deck = TDBTagRef::NewContainer();
        deck.SetChildString("mesh", ModeMesh(m1, "mode1"));
        table.SetChildTag("turntable", deck);
        tree.SetChildTag("mesh-table", table);
    }
    const std::unique_ptr<ValidationMesh> base = LoadEntryMesh(manager, tree, "default");
    const std::unique_ptr<ValidationMesh> deck = LoadEntryMesh(manager, tree, "turntable");
    tree.RemoveChild("mode0");
    tree.RemoveChild("mode1");
    if (tree.HasChild("attached-track") || !base || !deck) return;
    const KUID track = tree.GetChildKUID("track", KUID::Null());
    TDBTagRef tracks = TDBTagRef::NewContainer();
    AddTracks(tracks, *base, "otrack", "tracko", track, 0);
    AddTracks(tracks, *deck, "itrack", "tracki", track, 0);
    tree.SetChildTag("attached-track", tracks);
    tree.RemoveChild("track");
}

void BuildCrossingMeshTable(DataManager& manager, TDBTagRef& tree)
{
    if (!tree.HasChild("mesh-table"))
    {
        const std::string m0 = tree.GetChildString("mode0").str();
        TDBTagRef table = TDBTagRef::NewContainer();
        TDBTagRef entry = TDBTagRef::NewContainer();
        entry.SetChildString("mesh", ModeMesh(m0, "mode0"));
        entry.SetChildString("anim", Joined(m0, "anim.kin"));
        entry.SetChildInt("auto-create", 1);
        table.SetChildTag("default", entry);
        tree.SetChildTag("mesh-table", table);
    }
    const std::unique_ptr<ValidationMesh> mesh = LoadEntryMesh(manager, tree, "default");
    if (mesh)
    {
        const std::string anim =
            tree.GetChildContainer("mesh-table").GetChildContainer("default").GetChildString("anim").str();
        if (!anim.empty()) mesh->LoadAnimation(Joined(manager.GetAssetFolder().View(), anim));
    }
    tree.RemoveChild("mode0");
    tree.RemoveChild("mode1");
    if (tree.HasChild("attached-track") || !mesh) return;
    const KUID road = tree.GetChildKUID("road", KUID::Null());
    const KUID track = tree.GetChildKUID("track", KUID::Null());
    TDBTagRef tracks = TDBTagRef::NewContainer();
    AddTracks(tracks, *mesh, "road", "road", road, 1);
    AddTracks(tracks, *mesh, "track", "track", track, 1);
    tree.SetChildTag("attached-track", tracks);
}

}  // namespace TETLib
