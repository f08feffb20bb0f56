#include "daemon/DevicePackage.h"

#include "assetdb/ArchiveEntry.h"
#include "core/ACSRawDataCore.h"
#include "core/TextHelpers.h"
#include "daemon/DaemonLog.h"
#include "engine/File.h"
#include "engine/PathComponents.h"
#include "engine/TextCase.h"
#include "engine/TextureDescription.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s)
{
    Orvo::LowerInPlace(s);
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

// Every text value of the configuration, lower-cased: a file the configuration names.
void CollectTexts(const TDBTagRef& tag, std::set<std::string>& out)
{
    for (size_t i = 0; i < tag.GetChildCount(); ++i)
    {
        const uint8_t type = tag.GetChildTypeAt(i);
        if (type == kACSContainer)
            CollectTexts(tag.GetChildAt(i), out);
        else if (type == kACSString)
            out.insert(Lower(std::string(tag.GetChildAt(i).GetString().View())));
    }
}

// The file a description names, relative to the copy: each part of the name matched without regard to
// case, as the engine finds it. Empty when the name leaves the description's folder or names nothing.
std::string FindNamedFile(const fs::path& copy, const fs::path& descriptionFolder, const std::string& name)
{
    fs::path at = descriptionFolder;
    std::string rest = name;
    std::replace(rest.begin(), rest.end(), '\\', '/');
    if (rest.empty() || rest[0] == '/' || Orvo::HasDotDotPart(rest)) return {};
    size_t start = 0;
    while (start <= rest.size())
    {
        size_t cut = rest.find('/', start);
        if (cut == std::string::npos) cut = rest.size();
        const std::string part = rest.substr(start, cut - start);
        start = cut + 1;
        if (part.empty() || part == ".") continue;
        std::error_code ec;
        if (fs::exists(fs::symlink_status(at / part, ec)))
        {
            at /= part;
            continue;
        }
        bool found = false;
        for (fs::directory_iterator it(at, ec), end; !ec && it != end && !found; it.increment(ec))
            if (Orvo::EqualsNoCase(it->path().filename().string(), part))
            {
                at = it->path();
                found = true;
            }
        if (!found) return {};
    }
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(at, ec))) return {};
    return at.lexically_relative(copy).string();
}

}  // namespace

bool LeaveOutCompiledPictures(const std::string& copy, const KUID& kuid, DaemonResults* results)
{
    std::set<std::string> named;
    TDBTagRef config;
    Orvo::String reason;
    if (LoadPackableAssetConfig(Orvo::File::Path(copy), config, reason)) CollectTexts(config, named);

    const fs::path base(copy);
    std::set<std::string> pictures;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec))
    {
        const std::string name = it->path().filename().string();
        if (!IsTextureTxtName(name) || !it->is_regular_file(ec)) continue;
        // Only a description that was compiled has its pictures in the compiled file.
        const fs::path compiled = it->path().parent_path() / name.substr(0, name.size() - 4);
        if (!fs::is_regular_file(fs::symlink_status(compiled, ec))) continue;
        std::string text;
        Orvo::TextureDescription description;
        std::string error;
        if (!Orvo::File::ReadFile(it->path().string(), text, Orvo::TextureDescription::kMaxFileBytes) ||
            !description.Parse(text, error))
            continue;
        for (const char* key : {"Primary", "Alpha"})
        {
            const std::string picture = FindNamedFile(base, it->path().parent_path(), description.Get(key));
            if (!picture.empty() && !IsTextureTxtName(picture)) pictures.insert(picture);
        }
    }
    bool ok = true;
    for (const std::string& picture : pictures)
    {
        const std::string lower = Lower(picture);
        if (named.count(lower) || named.count(Lower(fs::path(picture).filename().string()))) continue;
        if (unlink((copy + "/" + picture).c_str()) != 0)
        {
            PostResult(results, kResultError,
                       "The picture '$(FILE_PATH)' of asset $(ASSET_KUID) could not be left out of the package.", kuid,
                       {{"file_path", picture}, {"asset_kuid", kuid.ToString()}});
            ok = false;
        }
    }
    return ok;
}
