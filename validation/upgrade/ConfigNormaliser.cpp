#include "validation/upgrade/ConfigNormaliser.h"

#include "assetdb/PatternList.h"
#include "engine/TextCase.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ValidationHooks.h"
#include "validation/upgrade/OldAssetBuilders.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace TETLib {
namespace {

// Numbered tags are read up to the first gap; no configuration has more than this.
constexpr int kMaxNumbered = 4096;
// Builds (whole hundredths) before which assets are normalised, and before which empty category lists
// are dropped.
constexpr int32_t kNormaliseBefore = 290;
constexpr int32_t kEmptyCategoriesBefore = 350;
constexpr float kNormalisedBuild = 2.9f;

std::string Text(const TDBTagRef& tree, std::string_view name) { return tree.GetChildString(name).str(); }

bool KindIs(std::string_view kind, std::string_view word) { return Orvo::EqualsNoCase(kind, word); }

// The names every top-level template lists among its entries, its inherited ones included.
std::set<std::string> TopLevelNames(DataManager& data)
{
    std::set<std::string> names;
    DataManager* manager = &data;
    manager->LoadTemplates();
    const TDBTagRef templates = manager->GetContainerDefinitions();
    for (size_t i = 0; i < templates.GetChildCount(); ++i)
    {
        const TDBTagRef definition = templates.GetChildContainerAt(i);
        if (definition.IsNull() || definition.GetChildInt("top-level", 0) == 0) continue;
        std::vector<TDBTagRef> sources{definition};
        for (const NamedDefinition& base : Container::CollectInherited(*manager, definition))
            sources.push_back(base.definition);
        for (const TDBTagRef& source : sources)
        {
            const TDBTagRef entries = source.GetChildContainer("subpossibilities");
            for (size_t e = 0; e < entries.GetChildCount(); ++e) names.insert(entries.GetChildName(e).str());
        }
    }
    return names;
}

// Joins the values of "<prefix>0", "<prefix>1", ... into one ";" list, removing the tags. Index 0 may be
// missing; from index 1 the first empty one ends the list. False when none was taken.
template <typename Edit>
bool JoinNumbered(TDBTagRef& tree, const std::string& prefix, Edit edit, std::string& joined)
{
    bool any = false;
    for (int i = 0; i < kMaxNumbered; ++i)
    {
        const std::string name = prefix + std::to_string(i);
        std::string value = Text(tree, name);
        if (value.empty())
        {
            if (i == 0) continue;
            break;
        }
        edit(value);
        if (any) joined += ';';
        joined += value;
        any = true;
        tree.RemoveChild(name);
    }
    return any;
}

// True when a colour text has at least three fields: something after its second comma.
bool HasThreeFields(std::string_view text)
{
    const size_t first = text.find(',');
    if (first == std::string_view::npos) return false;
    const size_t second = text.find(',', first + 1);
    return second != std::string_view::npos && second + 1 < text.size();
}

void BuildThumbnails(TDBTagRef& tree)
{
    if (!tree.HasChild("icon-texture") || tree.HasChild("thumbnails")) return;
    TDBTagRef image = TDBTagRef::NewContainer();
    image.SetChildString("image", Text(tree, "icon-texture"));
    image.SetChildInt("width", 64);
    image.SetChildInt("height", 64);
    TDBTagRef list = TDBTagRef::NewContainer();
    list.SetChildTag("0", image);
    tree.SetChildTag("thumbnails", list);
    tree.RemoveChild("icon-texture");
}

void MoveCamera(TDBTagRef& tree)
{
    if (tree.HasChild("camera"))
    {
        if (tree.GetChildContainer("cameralist").IsNull()) tree.CreateChildContainer("cameralist");
        TDBTagRef list = tree.GetChildContainer("cameralist");
        std::vector<float> values;
        TDBTagRef::GetCameraFloats(tree, values);
        values.push_back(0.0f);
        values.push_back(0.0f);
        list.SetChildFloats("camera" + std::to_string(list.GetChildCount()), values);
        tree.RemoveChild("camera");
    }
    if (!tree.HasChild("cameradefault")) tree.SetChildInt("cameradefault", 0);
}

void KindSteps(DataManager& manager, TDBTagRef& tree, const std::string& kind, const std::string& af)
{
    const bool named = !af.empty();
    const bool noTable = !tree.HasChild("mesh-table");
    if (KindIs(kind, "bogey"))
    {
        if (named && noTable) BuildBogeyMeshTable(tree, af);
        tree.RemoveChild("light");
    }
    if (KindIs(kind, "behavior")) BuildThumbnails(tree);
    if (KindIs(kind, "groundtexture") || KindIs(kind, "texture"))
    {
        tree.RemoveChild("rgb");
        if (named && !tree.HasChild("texture")) tree.SetChildString("texture", af + ".texture");
        tree.RemoveChild("light");
    }
    if (KindIs(kind, "mesh")) tree.RemoveChild("light");
    if (KindIs(kind, "mojunction") && named && noTable) BuildJunctionMeshTable(tree);
    if (KindIs(kind, "mocrossing"))
    {
        if (named && noTable) BuildCrossingMeshTable(manager, tree);
        tree.RemoveChild("track");
        tree.RemoveChild("road");
    }
    if (KindIs(kind, "turntable") && named && noTable) BuildTurntableMeshTable(manager, tree);
    if (KindIs(kind, "traincar"))
    {
        if (named && noTable) BuildTraincarMeshTable(tree, af);
        if (!tree.HasChild("bogeys")) BuildBogeyList(tree);
        if (tree.GetChildType("running-numbers") == kACSContainer) tree.RemoveChild("running-numbers");
    }
    if (named && KindIs(kind, "track")) tree.RemoveChild("height");
    if (named && (KindIs(kind, "track") || KindIs(kind, "bridge"))) tree.RemoveChild("mini");
    if (KindIs(kind, "scenery"))
    {
        if (named && noTable) BuildSceneryMeshTable(manager, tree, af);
        tree.RemoveChild("bendy");
    }
    if (KindIs(kind, "buildable") && named && noTable) BuildSceneryMeshTable(manager, tree, af);
    if (KindIs(kind, "interior"))
    {
        if (named && noTable) BuildInteriorMeshTable(tree);
        MoveCamera(tree);
    }
}

// Name effects without a name take their own name within "effects".
void NameEffects(TDBTagRef& tree)
{
    const TDBTagRef table = tree.GetChildContainer("mesh-table");
    for (size_t i = 0; i < table.GetChildCount(); ++i)
    {
        const TDBTagRef effects = table.GetChildContainerAt(i).GetChildContainer("effects");
        for (size_t e = 0; e < effects.GetChildCount(); ++e)
        {
            TDBTagRef effect = effects.GetChildContainerAt(e);
            if (effect.IsNull() || Text(effect, "kind") != "name" || !Text(effect, "name").empty()) continue;
            effect.SetChildString("name", effects.GetChildName(e).View());
        }
    }
}

// Old sound lists name their files as tags without values: they become "0", "1", ... holding the names.
void RebuildSoundLists(TDBTagRef& tree)
{
    const TDBTagRef script = tree.GetChildContainer("soundscript");
    for (size_t i = 0; i < script.GetChildCount(); ++i)
    {
        TDBTagRef entry = script.GetChildContainerAt(i);
        if (entry.IsNull() || !entry.HasChild("sound")) continue;
        const TDBTagRef sound = entry.GetChildContainer("sound");
        TDBTagRef rebuilt = TDBTagRef::NewContainer();
        for (size_t j = 0; j < sound.GetChildCount(); ++j)
        {
            const std::string text = sound.GetChildAt(j).GetString().str();
            if (text.empty())
                rebuilt.SetChildString(std::to_string(j), sound.GetChildName(j).View());
            else
                rebuilt.SetChildString(sound.GetChildName(j), text);
        }
        entry.SetChildTag("sound", rebuilt);
    }
}

void CategoryDefaults(TDBTagRef& tree, const std::string& kind)
{
    if (Text(tree, "category-era").empty()) tree.SetChildString("category-era", "1800s");
    if (LookupCategoryClassCodes(kind, Text(tree, "category-class")).View().empty())
        tree.SetChildString("category-class", "ZX");
    const std::string region = Text(tree, "category-region");
    bool any = region.empty();
    for (const char* world : {"EU", "any region in the world", "World Trees", "ALL"})
        any = any || KindIs(region, world);
    if (any) tree.SetChildString("category-region", "00");
}

// Moves an old tag's text to its current name (unless that exists, when `replace` is false).
void MoveTag(TDBTagRef& tree, const char* from, const char* to, bool replace)
{
    if (!tree.HasChild(from)) return;
    if (replace || !tree.HasChild(to)) tree.SetChildString(to, Text(tree, from));
    tree.RemoveChild(from);
}

void RemoveAll(TDBTagRef& tree, std::initializer_list<const char*> names)
{
    for (const char* name : names) tree.RemoveChild(name);
}

bool IsSweptName(std::string_view name)
{
    if (name.find_first_of("\"'{}") != std::string_view::npos) return true;
    return std::all_of(name.begin(), name.end(), [](char c) { return c == '_'; }) ||
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void RemoveTagsAfterDescription(TDBTagRef& tree, const std::set<std::string>& topLevel)
{
    size_t at = 0;
    while (at < tree.GetChildCount() && tree.GetChildName(at).View() != "description") ++at;
    // From the last to the one after "description", so the indexes still to come stay valid.
    for (size_t i = tree.GetChildCount(); i > at + 1; --i)
    {
        const size_t index = i - 1;
        if (tree.GetChildTypeAt(index) == kACSContainer || topLevel.count(tree.GetChildName(index).str())) continue;
        tree->RemoveChildAt(index);
    }
}

void RemoveAssetPrefixedTags(TDBTagRef& tree, const std::set<std::string>& topLevel)
{
    tree.RemoveChild("asset");
    for (size_t i = tree.GetChildCount(); i > 0; --i)
    {
        const std::string name = tree.GetChildName(i - 1).str();
        if (!topLevel.count(name) && name.compare(0, 6, "asset-") == 0) tree->RemoveChildAt(i - 1);
    }
}

}  // namespace

bool IsTopLevelTagName(DataManager& manager, std::string_view name)
{
    return TopLevelNames(manager).count(std::string(name)) != 0;
}

void RemoveTagsAfterDescription(DataManager& manager, TDBTagRef& config)
{
    RemoveTagsAfterDescription(config, TopLevelNames(manager));
}

void RemoveAssetPrefixedTags(DataManager& manager, TDBTagRef& config)
{
    RemoveAssetPrefixedTags(config, TopLevelNames(manager));
}

void NormaliseAssetConfig(DataManager& manager, TDBTagRef& tree)
{
    if (!tree.IsContainer()) return;
    // 1-3: the name, a map's region, cached and internal tags.
    if (Text(tree, "username").empty())
    {
        if (!Text(tree, "name").empty())
        {
            tree.SetChildString("username", Text(tree, "name"));
            tree.RemoveChild("name");
        }
        else if (!Text(tree, "asset-filename").empty())
            tree.SetChildString("username", Text(tree, "asset-filename"));
    }
    if (Text(tree, "kind") == "map" && tree.GetChildKUID("region", KUID::Null()).IsNull()) tree.RemoveChild("region");
    RemoveAll(tree, {"thumbnail", ".cache", "__filename", "__dir"});

    // 4-8: numbered category lists, empty licence, short colours, old names.
    std::string regions;
    if (JoinNumbered(
            tree, "category-region-", [](std::string& v) { Orvo::UpperInPlace(v); }, regions))
        tree.SetChildString("category-region", regions);
    std::string eras;
    if (JoinNumbered(
            tree, "category-era-",
            [](std::string& v) {
                if (v.back() != 's') v += 's';
            },
            eras))
        tree.SetChildString("category-era", eras);
    if (tree.HasChild("license") && Text(tree, "license").empty()) tree.RemoveChild("license");
    if (tree.HasChild("rgb") && !HasThreeFields(Text(tree, "rgb"))) tree.RemoveChild("rgb");
    MoveTag(tree, "scriptlibrary", "script", true);
    MoveTag(tree, "classlibrary", "class", true);

    // 9-10: the asset file name, and what each kind builds from it.
    const std::string af = Text(tree, "asset-filename");
    tree.RemoveChild("asset-filename");
    const std::string kind = Text(tree, "kind");
    KindSteps(manager, tree, kind, af);

    // 11-16: fonts, night meshes and name effects, stray types and regions, sound lists, functions,
    // category defaults, thumbnails.
    RemoveAll(tree, {"fontsize", "fontcolor"});
    if (tree.HasChild("mesh-table"))
    {
        tree.RemoveChild("night");
        NameEffects(tree);
    }
    tree.RemoveChild("type");
    if (!KindIs(kind, "map")) tree.RemoveChild("region");
    if (tree.HasChild("soundscript")) RebuildSoundLists(tree);
    if (KindIs(kind, "mospeedboard"))
        tree.RemoveChild("function");
    else if (tree.HasChild("trackside") && !KindIs(kind, "mosignal"))
        tree.RemoveChild("function");
    CategoryDefaults(tree, kind);
    BuildThumbnails(tree);

    // 17-20: licence lines, translations and tags nothing reads; tags under old names; the words of
    // unquoted descriptions and licences.
    RemoveAll(tree, {";",          "\"",           "rem",         "licence",  "disclaimer:", "licence:",
                     "licence:-",  "name-ru",      "name-es",     "name-fr",  "name-pl",     "name-de",
                     "name-it",    "name-cz",      "name-cn",     "name-nl",  "name-hu",     "origin",
                     "objremarks", "origregion",   "orgname",     "origname", "ostrel",      "company",
                     "velmar",     "velmar_build", "train-build", "version",  "obsolete"});
    MoveTag(tree, "auteur", "author", true);
    MoveTag(tree, "organization", "organisation", false);
    MoveTag(tree, "user-name", "username", false);
    MoveTag(tree, "name", "username", false);
    MoveTag(tree, "description:", "description", false);
    const std::set<std::string> topLevel = TopLevelNames(manager);
    RemoveTagsAfterDescription(tree, topLevel);
    RemoveAssetPrefixedTags(tree, topLevel);
    RemoveAll(tree, {"by",   "you",  "this",    "the",     "these", "-",   "all", "copyright",
                     "use",  "have", "check",   "only",    "keep",  "for", "in",  "alternate",
                     "feel", "no",   "contact", "created", "//",    ";",   "*"});

    // 21-22: names no tag can have; a name cut at its first line break.
    for (size_t i = tree.GetChildCount(); i > 0; --i)
        if (IsSweptName(tree.GetChildName(i - 1).View())) tree->RemoveChildAt(i - 1);
    std::string username = Text(tree, "username");
    const size_t cut = username.find_first_of("\r\n");
    if (cut != std::string::npos)
    {
        username.resize(cut);
        tree.SetChildString("username", username);
    }
}

void UpgradeOldAssetConfig(DataManager& manager, TDBTagRef& config)
{
    const int32_t code = Build::WholeHundredths(manager.GetAssetBuild());
    if (code < kNormaliseBefore)
    {
        NormaliseAssetConfig(manager, config);
        config.SetChildFloat("velmar-build", kNormalisedBuild);
    }
    if (code < kEmptyCategoriesBefore)
    {
        for (const char* name : {"category-region", "category-era"})
            if (config.HasChild(name) && Text(config, name).empty()) config.RemoveChild(name);
    }
}

void RegisterConfigNormaliser(ValidationPlugins& plugins) { plugins.SetConfigNormaliser(UpgradeOldAssetConfig); }

}  // namespace TETLib
