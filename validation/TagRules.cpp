// The tag rules: each is called with one tag and its parameter container, reports its findings about
// the tag and answers whether the tag passed.
#include "assetdb/ContentFolders.h"
#include "engine/File.h"
#include "engine/FilePath.h"
#include "engine/TextCase.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ErrorHandler.h"
#include "validation/MessageText.h"
#include "validation/Tag.h"
#include "validation/ValidationHooks.h"
#include "validation/ValidationRules.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace TETLib {
namespace {

std::string_view Name(const Tag& tag) { return tag.GetName().View(); }

// The numbers of the tag's value. An empty value holds none: that is reported here, since the writers
// of number tags do not look at emptiness.
bool ReadNumbers(Tag& tag, std::vector<float>& numbers)
{
    if (tag.GetValue().empty())
    {
        ReportError(&tag, "$tet_val_emptyfield", {{"TAG_NAME", Name(tag)}});
        return false;
    }
    numbers = ParseNumberList(tag.GetValue().View());
    return true;
}

float ParamFloat(const TDBTagRef* params, const char* name)
{
    if (params == nullptr) return 0.0f;
    return static_cast<float>(std::atof(params->GetChildString(name).c_str()));
}

std::string Formatted(const char* format, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

Container* Grandparent(const Tag& tag)
{
    Container* owner = tag.GetOwner();
    return owner != nullptr && owner->GetParent() != nullptr ? owner->GetParent()->GetParent() : nullptr;
}

bool ReadSize(const TDBTagRef* params, int& size)
{
    if (params == nullptr || !params->HasChild("size")) return false;
    size = static_cast<int>(std::strtol(params->GetChildString("size").c_str(), nullptr, 10));
    return true;
}

}  // namespace

bool RuleRange(Tag& tag, const TDBTagRef* params)
{
    std::vector<float> numbers;
    if (!ReadNumbers(tag, numbers)) return false;
    const float minimum = ParamFloat(params, "min");
    const float maximum = ParamFloat(params, "max");
    bool inRange = true;
    for (float v : numbers) inRange = inRange && !(v < minimum || v > maximum);
    if (inRange) return true;
    ReportError(&tag, "$tet_val_notwithinrange",
                {{"TAG_NAME", Name(tag)}, {"MIN", Formatted("%.2f", minimum)}, {"MAX", Formatted("%.2f", maximum)}});
    return false;
}

bool RuleIsNotZero(Tag& tag, const TDBTagRef*)
{
    std::vector<float> numbers;
    if (!ReadNumbers(tag, numbers)) return false;
    for (float v : numbers)
    {
        if (v == 0.0f)
        {
            ReportError(&tag, "$tet_val_notzero", {{"TAG_NAME", Name(tag)}});
            return false;
        }
    }
    return true;
}

bool RuleIsPositive(Tag& tag, const TDBTagRef*)
{
    std::vector<float> numbers;
    if (!ReadNumbers(tag, numbers)) return false;
    for (float v : numbers)
    {
        if (v < 0.0f)
        {
            ReportError(&tag, "$tet_val_notpositive", {{"TAG_NAME", Name(tag)}});
            return false;
        }
    }
    return true;
}

bool CheckArraySize(Tag& tag, int expected)
{
    std::vector<float> numbers;
    if (!ReadNumbers(tag, numbers)) return false;
    if (Build::IsBelow(tag.Manager().GetAssetBuild(), Build::kGate3_49)) return true;
    if (static_cast<int>(numbers.size()) == expected) return true;
    ReportError(
        &tag, "$tet_val_arraywrongsize",
        {{"TAG_NAME", Name(tag)}, {"NUM_0", std::to_string(expected)}, {"NUM_1", std::to_string(numbers.size())}});
    return false;
}

bool CheckArrayMaxSize(Tag& tag, int maximum)
{
    std::vector<float> numbers;
    if (!ReadNumbers(tag, numbers)) return false;
    if (Build::IsBelow(tag.Manager().GetAssetBuild(), Build::kGate3_49)) return true;
    if (static_cast<int>(numbers.size()) <= maximum) return true;
    tag.Manager().Errors().Error(
        FormatMessage("$tet_val_arraybeyondmax", {Name(tag), maximum, static_cast<int>(numbers.size())}), &tag);
    return false;
}

bool RuleArraySize(Tag& tag, const TDBTagRef* params)
{
    int size = 0;
    return ReadSize(params, size) && CheckArraySize(tag, size);
}

bool RuleArrayMaxSize(Tag& tag, const TDBTagRef* params)
{
    int size = 0;
    return ReadSize(params, size) && CheckArrayMaxSize(tag, size);
}

bool RuleMustBePaired(Tag& tag, const TDBTagRef* params)
{
    if (Name(tag) == "initial-count" && tag.GetValue().View() == "0") return true;
    const Orvo::String first = params != nullptr ? params->GetChildString("0") : Orvo::String();
    const Orvo::String second = params != nullptr ? params->GetChildString("1") : Orvo::String();
    const Container* owner = tag.GetOwner();
    const bool hasFirst = owner != nullptr && owner->FindTag(first.View()) != nullptr;
    const bool hasSecond = owner != nullptr && owner->FindTag(second.View()) != nullptr;
    if (!hasFirst) ReportError(&tag, "$tet_val_mustbepaired", {{"TAG_0", second.View()}, {"TAG_1", first.View()}});
    if (!hasSecond) ReportError(&tag, "$tet_val_mustbepaired", {{"TAG_0", first.View()}, {"TAG_1", second.View()}});
    return hasFirst && hasSecond;
}

bool RuleNeedCollateMeshes(Tag& tag, const TDBTagRef*)
{
    if (tag.GetOwner() != nullptr && tag.GetOwner()->FindTag("collate-meshes") != nullptr) return true;
    ReportError(&tag, "$tet_val_nocollatemeshes", {{"TAG_0", Name(tag)}, {"TAG_1", "collate-meshes"}});
    return false;
}

bool RuleIsTracksideType(Tag& tag, const TDBTagRef*)
{
    Tag* type = tag.GetOwner() != nullptr ? tag.GetOwner()->FindTag("type") : nullptr;
    if (type == nullptr)
    {
        ReportError(&tag, "$tet_val_notype", {{"TAG_0", Name(tag)}, {"TAG_1", "type"}, {"KIND", "trackside"}});
        return false;
    }
    if (type->GetValue().View() == "trackside") return true;
    ReportError(type, "$tet_val_wrongtype", {{"TAG_0", "type"}, {"KIND", "trackside"}, {"TAG_1", Name(tag)}});
    return false;
}

bool RuleIsNotTraincar(Tag& tag, const TDBTagRef*)
{
    if (tag.GetOwner() == nullptr || tag.GetOwner()->GetConfigTag().GetChildString("kind").View() != "traincar")
        return true;
    ReportError(tag.Manager().Errors(), "$tet_val_not_type", {{"TAG_NAME", Name(tag)}, {"KIND", "traincar"}});
    return false;
}

bool RuleNotOwnParent(Tag& tag, const TDBTagRef*)
{
    // The value names the container the tag's container hangs from; its own name would be a loop.
    if (tag.GetOwner() == nullptr || !tag.GetValue().EqualsNoCase(tag.GetOwner()->GetName())) return true;
    ReportError(&tag, "$tet_val_notownparent");
    return false;
}

bool RuleMustBeInLightContainer(Tag& tag, const TDBTagRef*)
{
    if (tag.GetValue().empty())
    {
        ReportError(&tag, "$tet_val_emptyfield", {{"TAG_NAME", Name(tag)}});
        return false;
    }
    const Container* grandparent = Grandparent(tag);
    const Container* lights = grandparent != nullptr ? grandparent->FindChild("lights") : nullptr;
    if (lights == nullptr)
    {
        ReportError(&tag, "$tet_val_musthavealightcontainer");
        return false;
    }
    bool found = true;
    for (int n : ParseIntegerList(tag.GetValue().View()))
    {
        if (lights->FindChild(std::to_string(n)) != nullptr) continue;
        ReportError(&tag, "$tet_val_mustbeinlightcontainer", {{"NUM", std::to_string(n)}});
        found = false;
    }
    return found;
}

bool RuleMustBeOwnParent(Tag& tag, const TDBTagRef*)
{
    DataManager* manager = &tag.Manager();
    const ValidationMesh* mesh = manager->GetMeshOf(Grandparent(tag));
    if (mesh == nullptr)
    {
        // A mesh that failed to load has been reported as such.
        if (manager->MeshFailed()) return false;
        ReportError(&tag, "$tet_val_mustbeownparent_nomesh", {{"ATT", tag.GetValue().View()}});
        return false;
    }
    if (mesh->HasAttachmentPoint(tag.GetValue().View())) return true;
    std::string_view file = mesh->GetFilePath();
    const std::string_view folder = manager->GetAssetFolder().View();
    if (file.substr(0, folder.size()) == folder) file.remove_prefix(folder.size());
    ReportError(&tag, "$tet_val_mustbeownparent", {{"ATT", tag.GetValue().View()}, {"MESH", file}});
    return false;
}

bool RuleFileExists(Tag& tag, const TDBTagRef*)
{
    if (tag.GetValue().empty()) return false;  // the writer has reported the empty value
    DataManager* manager = &tag.Manager();
    Orvo::File::Path path = manager->GetAssetFolder();
    const Container* owner = tag.GetOwner();
    if (owner != nullptr && owner->GetName().EqualsNoCase(std::string_view("sound")) &&
        owner->GetRoot()->GetConfigTag().GetChildString("kind").View() == "map")
        path.AddPath("sound");
    path.AddPath(tag.GetValue().View());
    if (Orvo::File::Exists(path.View())) return true;
    ReportBySeverity(!Build::IsBelow(manager->GetAssetBuild(), Build::kGate3_4), &tag, "$tet_val_file_dne",
                     {{"FILE", tag.GetValue().View()}});
    return false;
}

bool RuleScriptFileExists(Tag& tag, const TDBTagRef*)
{
    if (tag.GetValue().empty()) return false;  // the writer has reported the empty value
    if (tag.GetValue()[0] == '/' || tag.Manager().SourceIsPacked()) return true;
    Orvo::File::Path path = tag.Manager().GetAssetFolder();
    path.AddPath(tag.GetValue().View());
    if (Orvo::File::Exists(path.SetExt("gse").View()) || Orvo::File::Exists(path.SetExt("gs").View())) return true;
    ReportError(&tag, "$tet_val_scriptfiledne", {{"FILE", tag.GetValue().ToLower().View()}});
    return false;
}

}  // namespace TETLib
