// The container rules: each is called with one container and its parameter container, reports its
// findings and answers whether the container passed.
#include "engine/File.h"
#include "engine/FilePath.h"
#include "engine/TextCase.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/MessageText.h"
#include "validation/Tag.h"
#include "validation/ValidationHooks.h"
#include "validation/ValidationRules.h"

#include <cstdio>
#include <string>
#include <unordered_set>

namespace TETLib {
namespace {

std::string LowerKey(std::string_view name)
{
    std::string key(name);
    Orvo::LowerInPlace(key);
    return key;
}

}  // namespace

bool RuleUniqueNames(Container& container, const TDBTagRef*)
{
    bool unique = true;
    std::unordered_set<std::string> seen;
    for (Container* child : container.GetChildren())
    {
        if (seen.insert(LowerKey(child->GetName().View())).second) continue;
        ReportError(child, "$tet_val_duplicatecontainername",
                    {{"TAG_NAME", child->GetName().View()}, {"CONT_NAME", container.GetName().View()}});
        unique = false;
    }
    seen.clear();
    for (Tag* tag : container.GetTags())
    {
        if (seen.insert(LowerKey(tag->GetName().View())).second) continue;
        ReportError(tag, "$tet_val_duplicatetagname",
                    {{"TAG_NAME", tag->GetName().View()}, {"CONT_NAME", container.GetName().View()}});
        unique = false;
    }
    return unique;
}

bool RuleTrackSoundHasTarget(Container& container, const TDBTagRef*)
{
    for (const Tag* tag : container.GetTags())
    {
        const std::string_view name = tag->GetName().View();
        const bool target = Orvo::EqualsNoCase(name, "track") || Orvo::EqualsNoCase(name, "track-parent") ||
                            Orvo::EqualsNoCase(name, "bogey");
        if (target && !tag->GetValue().empty()) return true;
    }
    ReportWarning(&container, "$tet_val_tracksound_notarget", {{"NAME", container.GetName().View()}});
    return true;
}

bool RuleMeshTableHasVisibleMesh(Container& container, const TDBTagRef*)
{
    if (!container.IsTopLevel()) return true;
    const Container* table = container.FindChild("mesh-table");
    if (table == nullptr) return true;
    for (const Container* entry : table->GetChildren())
    {
        const Tag* autoCreate = entry->FindTag("auto-create");
        if (autoCreate != nullptr && autoCreate->GetValue().View() != "0") return true;
    }
    ReportWarning(&container, "$tet_val_no_visible_mesh");
    return false;
}

bool RuleMeshTableHasShadow(Container& container, const TDBTagRef*)
{
    if (!container.IsTopLevel()) return true;
    const Container* table = container.FindChild("mesh-table");
    if (table == nullptr || table->FindChild("shadow") != nullptr) return true;
    ReportWarning(&container, "$tet_val_shadow_missing");
    return false;
}

bool RuleHasValidTextureFile(Container& container, const TDBTagRef*)
{
    DataManager* manager = &container.Manager();
    if (manager->SourceIsPacked()) return true;
    const Tag* texture = nullptr;
    for (const Tag* tag : container.GetTags())
    {
        const bool named = tag->GetName().EqualsNoCase(std::string_view("texture")) ||
                           tag->GetName().EqualsNoCase(std::string_view("asset-filename"));
        // A compulsory tag that was missing stands in the list empty: it names no file either.
        if (named && !tag->GetValue().empty())
        {
            texture = tag;
            break;
        }
    }
    if (texture == nullptr)
    {
        ReportError(container.Errors(), "$tet_val_texturefilenotspecified");
        return false;
    }
    Orvo::File::Path path = manager->GetAssetFolder();
    path.AddPath(texture->GetValue().View());
    Tag* subject = const_cast<Tag*>(texture);
    if (path.IsExt("tga") || path.IsExt("bmp") || path.IsExt("jpg"))
    {
        const bool old = Build::IsBelow(manager->GetAssetBuild(), Build::kGate3_49);
        const bool exists = Orvo::File::Exists(path.View());
        ReportBySeverity(!(old && exists), subject, "$tet_val_texturefilewrongformat",
                         {{"FILE", texture->GetValue().View()}});
        return old && exists;
    }
    if (Orvo::File::Exists(path.SetExt("texture").View()) || Orvo::File::Exists(path.SetExt("texture.txt").View()))
        return true;
    ReportError(subject, "$tet_val_texturefiledne", {{"FILE", texture->GetValue().View()}});
    return false;
}

bool RuleValidateRunningNumberFonts(Container& container, const TDBTagRef*)
{
    if (!container.IsTopLevel()) return true;
    const TDBTagRef& config = container.GetConfigTag();
    const int32_t fonts = config.GetChildInt("fonts", 0);
    if (static_cast<uint32_t>(fonts) > 5) ReportWarning(&container, "$tet_val_too_many_fonts");
    if (fonts <= 0) return true;
    DataManager* manager = &container.Manager();
    if (Build::IsBelow(manager->GetAssetBuild(), Build::kGate3_59)) return true;
    const std::string folderName = std::string(config.GetChildString("fonts-path").View()) + "_alpha_numbers";
    Orvo::File::Path folder = manager->GetAssetFolder();
    folder.AddPath(folderName);
    if (!Orvo::File::IsDirectory(folder.View()))
    {
        ReportError(&container, "$tet_val_missing_font_dir", {{"DIR", folderName}});
        return false;
    }
    bool complete = true;
    const int letters = fonts > 26 ? 26 : fonts;  // one letter per font: there are no more
    for (int i = 0; i < letters; ++i)
    {
        for (int d = 0; d <= 9; ++d)
        {
            char name[48];
            if (fonts > 1)
                std::snprintf(name, sizeof name, "alphanumber_%d%c.tga", d, char('a' + i));
            else
                std::snprintf(name, sizeof name, "alphanumber_%d.tga", d);
            Orvo::File::Path file = folder;
            file.AddPath(name);
            if (Orvo::File::Exists(file.View())) continue;
            ReportError(&container, "$tet_val_missing_font_file", {{"DIR", folderName}, {"FILE", name}});
            complete = false;
        }
    }
    return complete;
}

bool RuleSoundIsValid(Container& container, const TDBTagRef* params)
{
    if (SoundCheckFn check = container.Manager().Plugins().GetSoundCheck()) return check(container, params);
    ReportError(&container, "$tet_val_sound_check_unavailable", {{"CONT_NAME", container.GetName().View()}});
    return false;
}

}  // namespace TETLib
