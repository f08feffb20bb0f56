#include "validation/mesh/TextureFolderCheck.h"

#include "engine/Bitmap.h"
#include "engine/File.h"
#include "engine/FileFind.h"
#include "engine/PathComponents.h"
#include "engine/TextureDescription.h"
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/MessageText.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace TETLib {
namespace {

// Asset folders are a few levels deep; a deeper tree is not walked further.
constexpr int kMaxFolderDepth = 32;
// Below this build a compiled texture without its description is only a warning.
constexpr int32_t kDescriptionRequired = 290;
// Above this build a single-colour image of more than kUniformPixels pixels is an error.
constexpr int32_t kUniformIsError = 350;
constexpr uint64_t kUniformPixels = 64;

struct Walk
{
    ErrorHandler& errors;
    const Orvo::File::Path& root;
    int32_t build;  // the asset's build in rounded hundredths
    bool installed;
    // The asset names a mesh asset: its compiled textures come with that mesh, without descriptions here.
    bool skipLoneCompiled;
    bool clean = true;

    // The path relative to the root, as the finding shows it.
    std::string_view Relative(std::string_view path) const
    {
        const std::string_view r = root.View();
        return path.size() >= r.size() && path.substr(0, r.size()) == r ? path.substr(r.size()) : path;
    }
    void Error(std::string_view key, std::initializer_list<MessageParam> params)
    {
        ReportError(errors, key, params);
        clean = false;
    }
    void BySeverity(bool error, std::string_view key, std::initializer_list<MessageParam> params)
    {
        ReportBySeverity(error, errors, key, params);
        clean = false;
    }
};

bool IsPowerOfTwo(uint32_t n) { return (n & (n - 1)) == 0; }

// True when every pixel has the bytes of the first.
bool IsUniform(const Orvo::Bitmap& image)
{
    const uint32_t bytes = Orvo::Bitmap::BytesPerPixel(image.GetFormat());
    if (bytes == 0 || image.GetWidth() == 0 || image.GetHeight() == 0) return false;
    const uint8_t* first = image.Row(0);
    for (uint32_t y = 0; y < image.GetHeight(); ++y)
    {
        const uint8_t* row = image.Row(y);
        for (uint32_t x = 0; x < image.GetWidth(); ++x)
            if (std::memcmp(row + size_t(x) * bytes, first, bytes) != 0) return false;
    }
    return true;
}

enum class Image
{
    kMissing,  // reported
    kFailed,   // reported; the description is not checked further
    kLoaded,
};

// Checks one image a description names: there, loadable, sides powers of two.
Image CheckImage(Walk& walk, const Orvo::File::Path& folder, const std::string& name, const std::string& description,
                 const char* missingKey, std::unique_ptr<Orvo::Bitmap>& out)
{
    Orvo::File::Path path = folder;
    path.AddPath(name);
    const std::string_view shown = walk.Relative(path.View());
    if (!Orvo::IsInsideName(name))
    {
        walk.Error("$tet_texture_failedload", {{"FILE", shown}});
        return Image::kFailed;
    }
    if (!Orvo::File::Exists(path.View()))
    {
        walk.Error(missingKey, {{"TEXTURE", shown}, {"FILE", walk.Relative(description)}});
        return Image::kMissing;
    }
    Orvo::String reason;
    // Only a regular file is read: a pipe named like an image would wait for a writer.
    if (Orvo::File::IsFile(path.View())) out = Orvo::Bitmap::Load(path.View(), reason);
    if (!out)
    {
        walk.Error("$tet_texture_failedload", {{"FILE", shown}});
        return Image::kFailed;
    }
    if (!IsPowerOfTwo(out->GetWidth()) || !IsPowerOfTwo(out->GetHeight()))
        walk.Error("$tet_texture_notpower2", {{"FILE", shown}});
    return Image::kLoaded;
}

void CheckDescription(Walk& walk, const Orvo::File::Path& folder, const std::string& path)
{
    // The whole description is read and closed before any image is looked at.
    std::string text;
    Orvo::TextureDescription description;
    std::string error;
    const bool read = Orvo::File::ReadFile(path, text, Orvo::TextureDescription::kMaxFileBytes);
    const bool parsed = read && description.Parse(text, error);
    if (description.nonAscii) walk.Error("$tet_non_ansi_texture", {{"FILE", walk.Relative(path)}});
    if (!parsed)
    {
        // The compiler cannot read it either.
        walk.Error("$tet_texture_failedload", {{"FILE", walk.Relative(path)}});
        return;
    }
    const std::string primaryName = description.Get("Primary");
    const std::string alphaName = description.Get("Alpha");
    std::unique_ptr<Orvo::Bitmap> primary;
    std::unique_ptr<Orvo::Bitmap> alpha;
    if (!primaryName.empty())
    {
        const Image result = CheckImage(walk, folder, primaryName, path, "$tet_texture_missing_primary", primary);
        if (result == Image::kFailed) return;
        if (result == Image::kLoaded && IsUniform(*primary))
        {
            const uint64_t pixels = uint64_t(primary->GetWidth()) * primary->GetHeight();
            Orvo::File::Path image = folder;
            image.AddPath(primaryName);
            walk.BySeverity(walk.build > kUniformIsError && pixels > kUniformPixels, "$tet_texture_uniformcolor",
                            {{"FILE", walk.Relative(image.View())}});
        }
    }
    if (!alphaName.empty())
    {
        if (CheckImage(walk, folder, alphaName, path, "$tet_texture_missing_alpha", alpha) == Image::kFailed) return;
    }
    if (primary && alpha && (primary->GetWidth() != alpha->GetWidth() || primary->GetHeight() != alpha->GetHeight()))
        walk.Error("$tet_primaryalpha_notsamesize", {{"FILE", walk.Relative(path)}});

    if (walk.installed)
    {
        Orvo::File::Path compiled(path);
        compiled.DelExt();
        if (!Orvo::File::IsFile(compiled.View()))
            walk.Error("$tet_binary_texture_conversion_failed", {{"FILE", walk.Relative(path)}});
    }
}

void CheckFile(Walk& walk, const Orvo::File::Path& folder, const std::string& name)
{
    Orvo::File::Path path = folder;
    path.AddPath(name);
    if (path.IsExt("texture"))
    {
        if (walk.skipLoneCompiled) return;
        Orvo::File::Path description = path;
        description.Add(".txt");
        if (!Orvo::File::IsFile(description.View()))
            walk.BySeverity(walk.build >= kDescriptionRequired, "$tet_duplicatetexture",
                            {{"FILE", walk.Relative(path.View())}});
        return;
    }
    if (!path.IsExt("txt")) return;
    Orvo::File::Path stem = path;
    stem.DelExt();
    if (stem.IsExt("convert-tex"))
        walk.Error("$tet_texture_failedload", {{"FILE", walk.Relative(path.View())}});
    else if (stem.IsExt("texture"))
        CheckDescription(walk, folder, path.str());
}

void WalkFolder(Walk& walk, const Orvo::File::Path& folder, int depth)
{
    Orvo::File::Find find;
    Orvo::File::Path pattern = folder;
    pattern.AddPath("*");
    if (!find.Open(pattern.View())) return;
    for (const Orvo::File::Find::Entry& entry : find)
    {
        Orvo::File::Path path = folder;
        path.AddPath(entry.name);
        if (entry.isFolder)
        {
            // Only the folders themselves: a link to a folder may lead back up the tree.
            std::error_code ec;
            if (depth < kMaxFolderDepth && !std::filesystem::is_symlink(path.str(), ec))
                WalkFolder(walk, path, depth + 1);
        }
        // A folder's own name is taken like a file's: a folder named like a compiled texture or a texture
        // description is where the texture compiler would look for one.
        CheckFile(walk, folder, entry.name);
    }
}

}  // namespace

bool CheckTextureFolder(const DataManager& manager, const Orvo::File::Path& root, const Orvo::File::Path& folder)
{
    Walk walk{manager.Errors(), root, Build::RoundedHundredths(manager.GetAssetBuild()), manager.IsInstalledSource(),
              manager.IsMeshAsset()};
    WalkFolder(walk, folder, 0);
    return walk.clean;
}

bool CheckAssetTextures(const Orvo::File::Path& folder, Container& root)
{
    return CheckTextureFolder(root.Manager(), folder, folder);
}

}  // namespace TETLib
