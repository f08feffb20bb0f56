// Mesh tables and bogey lists for old assets.
#include "engine/TextCase.h"
#include "validation/DataManager.h"
#include "validation/ValidationHooks.h"
#include "validation/upgrade/OldAssetBuilders.h"

#include <memory>
#include <string>

namespace TETLib {
namespace {

// Names of numbered tags and effects are decimal numbers; a mesh has far fewer attachment points.
constexpr unsigned kMaxNumbered = 4096;

std::string Joined(std::string_view folder, std::string_view name)
{
    Orvo::File::Path path(folder);
    path.AddPath(name);
    return path.str();
}

TDBTagRef MeshEntry(std::string_view mesh, int autoCreate)
{
    TDBTagRef entry = TDBTagRef::NewContainer();
    entry.SetChildString("mesh", mesh);
    entry.SetChildInt("auto-create", autoCreate);
    return entry;
}

void SetTwoEntryTable(TDBTagRef& tree, const std::string& defaultMesh, const std::string& shadowMesh)
{
    TDBTagRef table = TDBTagRef::NewContainer();
    table.SetChildTag("default", MeshEntry(defaultMesh, 1));
    table.SetChildTag("shadow", MeshEntry(shadowMesh, 0));
    tree.SetChildTag("mesh-table", table);
}

// Reads a numbered or named bogey tag; true (and the entry written) when it holds a KUID.
bool TakeBogey(TDBTagRef& tree, const std::string& name, int reversed, TDBTagRef& list, unsigned& index)
{
    const KUID kuid = tree.GetChildKUID(name, KUID::Null());
    if (kuid.IsNull()) return false;
    TDBTagRef entry = TDBTagRef::NewContainer();
    entry.SetChildKUID("bogey", kuid);
    entry.SetChildInt("reversed", reversed);
    list.SetChildTag(std::to_string(index++), entry);
    tree.RemoveChild(name);
    return true;
}

}  // namespace

void BuildBogeyMeshTable(TDBTagRef& tree, std::string_view assetFile)
{
    const std::string af(assetFile);
    SetTwoEntryTable(tree, af + ".pm", af + "_shadow/" + af + "_shadow.pm");
}

void BuildTraincarMeshTable(TDBTagRef& tree, std::string_view assetFile)
{
    const std::string af(assetFile);
    SetTwoEntryTable(tree, Joined(af + "_body", af + "_body.pm"), Joined(af + "_shadow", af + "_shadow.pm"));
}

void BuildBogeyList(TDBTagRef& tree)
{
    TDBTagRef list = TDBTagRef::NewContainer();
    unsigned index = 0;
    unsigned first = 0;
    if (TakeBogey(tree, "bogey", 0, list, index)) first = 1;
    if (TakeBogey(tree, "bogey-r", 1, list, index)) first = 1;
    for (unsigned i = first; i < kMaxNumbered; ++i)
    {
        const std::string name = "bogey-" + std::to_string(i);
        const bool plain = TakeBogey(tree, name, 0, list, index);
        const bool reversed = TakeBogey(tree, name + "-r", 1, list, index);
        if (!plain && !reversed) break;
    }
    tree.SetChildTag("bogeys", list);
}

void BuildInteriorMeshTable(TDBTagRef& tree)
{
    TDBTagRef table = TDBTagRef::NewContainer();
    const TDBTagRef attachments = tree.GetChildContainer("attachment");
    if (!attachments.IsNull())
    {
        for (size_t i = 0; i < attachments.GetChildCount(); ++i)
        {
            TDBTagRef entry = attachments.GetChildContainerAt(i);
            if (entry.IsNull()) entry = TDBTagRef::NewContainer();
            if (entry.HasChild("att") && !entry.HasChild("att-parent")) entry.SetChildString("att-parent", "default");
            table.SetChildTag(attachments.GetChildName(i), entry);
        }
        tree.RemoveChild("attachment");
    }
    if (tree.HasChild("mesh"))
    {
        table.SetChildTag("default", MeshEntry(tree.GetChildString("mesh").View(), 1));
        tree.RemoveChild("mesh");
    }
    tree.SetChildTag("mesh-table", table);
}

void BuildJunctionMeshTable(TDBTagRef& tree)
{
    const std::string modes[2] = {tree.GetChildString("mode0").str(), tree.GetChildString("mode1").str()};
    TDBTagRef table = TDBTagRef::NewContainer();
    tree.SetChildTag("mesh-table", table);
    for (int m = 0; m < 2; ++m)
    {
        const std::string& mode = modes[m];
        if (mode.empty()) continue;
        std::string name = mode;
        Orvo::LowerInPlace(name);
        TDBTagRef entry = TDBTagRef::NewContainer();
        entry.SetChildString("mesh", mode + "/" + mode + ".im");
        entry.SetChildString("auto-create", m == 0 ? "1" : "0");
        table.AddChildTag(name, entry);
        tree.RemoveChild(m == 0 ? "mode0" : "mode1");
    }
}

void BuildSceneryMeshTable(DataManager& manager, TDBTagRef& tree, std::string_view assetFile)
{
    const std::string af(assetFile);
    TDBTagRef table = TDBTagRef::NewContainer();
    TDBTagRef entry = TDBTagRef::NewContainer();
    entry.SetChildInt("auto-create", 1);
    entry.SetChildString("mesh", af + ".im");
    if (tree.GetChildInt("auto-animation", 0) != 0)
    {
        entry.SetChildString("anim", "anim.kin");
        entry.SetChildFloat("animation-loop-speed", 1.0f);
    }
    tree.RemoveChild("auto-animation");

    const unsigned names = CountNameAttachments(manager, Joined(manager.GetAssetFolder().View(), af + ".im"));
    if (names > 0)
    {
        const std::string colour = tree.GetChildString("fontcolor").str();
        const std::string size = tree.GetChildString("fontsize").str();
        TDBTagRef effects = TDBTagRef::NewContainer();
        for (unsigned k = 0; k < names; ++k)
        {
            TDBTagRef effect = TDBTagRef::NewContainer();
            effect.SetChildString("kind", "name");
            effect.SetChildString("att", "a.name" + std::to_string(k));
            if (!colour.empty()) effect.SetChildString("fontcolor", colour);
            if (!size.empty()) effect.SetChildString("fontsize", size);
            effect.SetChildString("name", "name");
            effects.SetChildTag(std::to_string(k), effect);
        }
        entry.SetChildTag("effects", effects);
    }
    table.SetChildTag("default", entry);

    if (tree.HasChild("night"))
    {
        const std::string night = tree.GetChildString("night").str();
        tree.RemoveChild("night");
        TDBTagRef nightEntry = TDBTagRef::NewContainer();
        nightEntry.SetChildString("mesh", night + "/" + night + ".im");
        nightEntry.SetChildString("night-mesh-base", "default");
        table.SetChildTag("night", nightEntry);
    }
    tree.SetChildTag("mesh-table", table);
}

unsigned CountNameAttachments(DataManager& manager, const Orvo::File::Path& meshFile)
{
    const std::unique_ptr<ValidationMesh> mesh = manager.LoadMesh(meshFile);
    if (!mesh) return 0;
    unsigned k = 0;
    while (k < kMaxNumbered && mesh->HasAttachmentPoint("a.name" + std::to_string(k))) ++k;
    return k;
}

}  // namespace TETLib
