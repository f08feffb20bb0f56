// The file-reference writer: a file of the asset named relative to its folder, checked for a suitable
// extension and for being there.
#include "engine/File.h"
#include "engine/FilePath.h"
#include "engine/TextCase.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/MessageText.h"
#include "validation/Tag.h"

#include <initializer_list>

namespace TETLib {
namespace {

struct FileKind
{
    const char* dataType;
    std::initializer_list<const char*> extensions;  // empty: any
    const char* wrongExtensionKey;
    bool mustExist;
};

const FileKind kFileKinds[] = {
    {"meshes", {"im", "lm", "pm", "srt"}, "$tet_container_nomeshext", false},
    {"image", {"bmp", "tga", "jpg", "texture"}, "$tet_container_nopictureext", true},
    {"animation", {"kin"}, "$tet_container_noanimationext", false},
    {"script", {}, nullptr, false},
};

bool HasExtension(const Orvo::File::Path& path, const std::initializer_list<const char*>& extensions)
{
    for (const char* ext : extensions)
        if (path.IsExt(ext)) return true;
    return false;
}

}  // namespace

bool Container::ExportFilePath(Tag& tag, TDBTagRef& out)
{
    bool result = true;
    const std::string_view owner = tag.GetOwner() != nullptr ? tag.GetOwner()->GetName().View() : std::string_view();
    if (tag.GetValue().empty())
    {
        ReportError(&tag, "$tet_container_emptystringwarn", {{"TAG_NAME", tag.GetName().View()}, {"CONT_NAME", owner}});
        result = false;
    }
    const Orvo::File::Path path(tag.GetValue().View());  // the engine path takes "\" for "/"

    const FileKind* kind = nullptr;
    for (const FileKind& k : kFileKinds)
        if (Orvo::EqualsNoCase(tag.GetDataType().View(), k.dataType)) kind = &k;
    const char* messageKey = nullptr;
    if (kind != nullptr && kind->extensions.size() != 0 && !HasExtension(path, kind->extensions))
        messageKey = kind->wrongExtensionKey;
    else if (kind == nullptr || kind->mustExist)
    {
        // Always below the asset's folder: a file elsewhere is not part of the asset.
        Orvo::File::Path full = manager_.GetAssetFolder();
        full.AddPath(path.View());
        if (!Orvo::File::Exists(full.View()))
        {
            if (!path.IsExt("texture") || !Orvo::File::Exists(full.SetExt("texture.txt").View()))
                messageKey = "$tet_container_filenotfound";
        }
    }
    if (messageKey != nullptr)
        ReportError(&tag, messageKey,
                    {{"TAG_NAME", tag.GetName().View()}, {"CONT_NAME", owner}, {"FILENAME", path.View()}});
    if (!tag.RunValidationRules()) result = false;
    out.SetChildString(tag.GetName(), tag.GetValue().View());
    return result;
}

}  // namespace TETLib
