#include "engine/AsciiTextureResource.h"

#include "engine/File.h"
#include "engine/FilePath.h"
#include "engine/PathComponents.h"
#include "engine/TextCase.h"
#include "engine/TextureDescription.h"
#include "engine/TextureFormat.h"
#include "platform/RegularFile.h"

#include <cstdlib>

namespace Orvo {

namespace {

std::string Lower(std::string_view text)
{
    std::string s(text);
    LowerInPlace(s);
    return s;
}

bool ParseFilter(const std::string& v, bool allowNone, uint8_t& out)
{
    if (v == "nearest" || v == "point")
        out = TextureResource::FilterNearest;
    else if (v == "linear")
        out = TextureResource::FilterLinear;
    else if (allowNone && v == "none")
        out = TextureResource::FilterNone;
    else
        return false;
    return true;
}

}  // namespace

AsciiTextureResource::AsciiTextureResource(const PString& name, ResourceDatabase* database)
    : TextureResource(name, database)
{}

bool AsciiTextureResource::SetLoadError(std::string text)
{
    if (loadError_.empty()) loadError_ = std::move(text);
    return false;
}

int AsciiTextureResource::LoadTxt(const std::string& fileName)
{
    const std::string path = GetFilePath(fileName);
    std::string text;
    if (!File::ReadFile(path, text, TextureDescription::kMaxFileBytes + 1))
    {
        SetLoadError("the description '" + fileName + "' cannot be read: " + File::LastError().message);
        return LoadFailed;
    }
    TextureDescription description;
    std::string error;
    if (!description.Parse(text, error))
    {
        SetLoadError("the description '" + fileName + "' is damaged: " + error);
        return LoadFailed;
    }
    description_ = path;
    folder_ = File::Path(path).DelName().str();
    return LoadConfigData(description.config) ? LoadOk : LoadFailed;
}

bool AsciiTextureResource::ReadImageNames(const std::string& descriptionPath, std::string& text, std::string& primary,
                                          std::string& alpha)
{
    std::string real, error;
    TextureDescription description;
    if (!File::Resolve(descriptionPath, real) ||
        Platform::ReadRegularFile(real, TextureDescription::kMaxFileBytes + 1, text) !=
            Platform::RegularFileStatus::kOK ||
        !description.Parse(text, error))
        return false;
    primary = TrimView(description.Get("Primary"));
    alpha = TrimView(description.Get("Alpha"));
    return true;
}

bool AsciiTextureResource::ReadPrimarySize(const std::string& descriptionPath, uint32_t& width, uint32_t& height)
{
    std::string text, primary, alpha;
    if (!ReadImageNames(descriptionPath, text, primary, alpha) || !IsInsideName(primary)) return false;
    return Bitmap::ReadSize(File::Path(descriptionPath).DelName().str() + primary, width, height);
}

bool AsciiTextureResource::LoadConfigData(const ConfigData& config)
{
    const ConfigData* texture = config.Find("Texture");
    if (texture == nullptr) return SetLoadError("the description holds no texture data");
    for (const ConfigData& item : texture->children)
        if (!ApplyKey(item)) return false;
    if (primary_.empty()) return SetLoadError("the description names no primary image (\"Primary=\")");
    return true;
}

bool AsciiTextureResource::LoadTextureOptions(const ConfigData& options)
{
    for (const ConfigData& item : options.children)
        if (!ApplyKey(item)) return false;
    return true;
}

bool AsciiTextureResource::ApplyKey(const ConfigData& item)
{
    const std::string key = Lower(item.name);
    const std::string v = Lower(TrimView(item.value));
    auto bad = [&]() { return SetLoadError("\"" + item.name + "=" + item.value + "\" is not understood"); };
    if (key == "primary" || key == "alpha")
    {
        const std::string name(TrimView(item.value));
        if (!name.empty() && !IsInsideName(name))
            return SetLoadError("\"" + item.name + "=" + name + "\" names a file outside the texture's folder");
        (key == "primary" ? primary_ : alpha_) = name;
    }
    else if (key == "compression")
    {
        static const char* const kinds[] = {"none", "dxt1", "dxt3", "dxt5", "auto"};
        uint32_t kind = 5;
        for (uint32_t i = 0; i < 5; ++i)
            if (v == kinds[i]) kind = i;
        if (kind == 5) return bad();
        compressionKind_ = kind;
    }
    else if (key == "alphahint")
    {
        if (v == "auto" || v.empty())
        {
            alphaHint_ = 255;
            alphaHintGiven_ = false;
            return true;
        }
        if (v == "opaque" || v == "0")
            alphaHint_ = 0;
        else if (v == "alpha" || v == "1")
            alphaHint_ = 1;
        else if (v == "mask" || v == "2")
            alphaHint_ = 2;
        else
            return bad();
        alphaHintGiven_ = true;
    }
    else if (key == "hint")
    {
        if (v == "none" || v == "default" || v.empty())
            normalMapHint_ = false, modifyMap_ = 0;
        else if (v == "normalmap")
            normalMapHint_ = true, modifyMap_ = 0;
        else if (v == "normalmap-flipgreen")
            normalMapHint_ = true, modifyMap_ = 1;
        else
            return bad();
    }
    else if (key == "tile")
    {
        if (v != "st" && v != "ts" && v != "s" && v != "t" && v != "none" && !v.empty()) return bad();
        wrapS_ = v.find('s') != std::string::npos ? WrapRepeat : WrapClamp;
        wrapT_ = v.find('t') != std::string::npos ? WrapRepeat : WrapClamp;
    }
    else if (key == "mipfilter")
    {
        if (!ParseFilter(v, true, mipFilter_)) return bad();
    }
    else if (key == "minfilter")
    {
        if (!ParseFilter(v, false, minFilter_)) return bad();
    }
    else if (key == "magfilter")
    {
        if (!ParseFilter(v, false, magFilter_)) return bad();
    }
    else if (key == "automip")
    {
        if (v == "none" || v == "no")
            autoMip_ = false;
        else if (v == "auto" || v == "yes")
            autoMip_ = true;
        else
            return bad();
    }
    else if (key == "anisotropy")
    {
        char* end = nullptr;
        const long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || n < 1 || n > 16) return bad();
        anisotropy_ = uint8_t(n);
    }
    // Other keys (the Android limits among them) are read by whoever needs them.
    return true;
}

std::vector<std::string> AsciiTextureResource::SourceFiles() const
{
    std::vector<std::string> files;
    if (!description_.empty()) files.push_back(description_);
    for (const std::string* image : {&primary_, &alpha_})
        if (!image->empty()) files.push_back(folder_ + *image);
    return files;
}

std::unique_ptr<Bitmap> AsciiTextureResource::LoadImage(const std::string& name, const char* key)
{
    const std::string path = folder_ + name;
    if (!File::IsFile(path))
    {
        // Something else by that name (a FIFO, a folder) is said as such: the user sees a name that is there.
        SetLoadError(std::string("the ") + key + " image '" + name + "' " +
                     (File::Exists(path) ? "is not a regular file" : "does not exist"));
        return nullptr;
    }
    String reason;
    std::unique_ptr<Bitmap> image = Bitmap::Load(path, reason);
    if (!image) SetLoadError(std::string("the ") + key + " image cannot be read: " + reason.str());
    return image;
}

bool AsciiTextureResource::GetMipLock()
{
    if (image_) return true;
    std::unique_ptr<Bitmap> image = LoadImage(primary_, "primary");
    if (!image) return false;
    if (!alpha_.empty())
    {
        std::unique_ptr<Bitmap> alpha = LoadImage(alpha_, "alpha");
        if (!alpha) return false;
        if (alpha->GetWidth() != image->GetWidth() || alpha->GetHeight() != image->GetHeight())
            return SetLoadError("the primary and the alpha image differ in size");
        auto merged = std::make_unique<Bitmap>(image->GetWidth(), image->GetHeight(), Bitmap::FormatARGB32);
        if (!merged->IsValid() || !merged->CopyImage(*image, 0, 0)) return SetLoadError("out of memory");
        for (uint32_t y = 0; y < merged->GetHeight(); ++y)
            for (uint32_t x = 0; x < merged->GetWidth(); ++x)
            {
                const uint8_t* a = alpha->Row(y) + x * 4;
                merged->Row(y)[x * 4 + 3] = uint8_t((a[0] + a[1] + a[2] + 1) / 3);
            }
        image = std::move(merged);
    }
    if (!alphaHintGiven_)
    {
        // What the alpha channel holds decides the hint: nothing, only 0 and 255, or anything.
        uint8_t hint = 0;
        if (image->GetFormat() == Bitmap::FormatARGB32)
            for (uint32_t y = 0; y < image->GetHeight() && hint != 1; ++y)
                for (uint32_t x = 0; x < image->GetWidth(); ++x)
                {
                    const uint8_t a = image->Row(y)[x * 4 + 3];
                    if (a == 255) continue;
                    hint = a == 0 ? 2 : 1;
                    if (hint == 1) break;
                }
        alphaHint_ = hint;
    }
    width_ = image->GetWidth();
    height_ = image->GetHeight();
    image_ = std::move(image);
    return true;
}

bool AsciiTextureResource::GetMipUnlock()
{
    image_.reset();
    return true;
}

void AsciiTextureResource::GetSize(uint32_t& width, uint32_t& height)
{
    width = width_;
    height = height_;
}

uint32_t AsciiTextureResource::GetNumMipLevels() { return UseMipMaps() ? FullMipChainLength(width_, height_) : 1; }

uint32_t AsciiTextureResource::GetTargetFormat()
{
    alphaFlag_ = alphaHint_ != 0;
    return alphaFlag_ ? DFormatARGB8888 : DFormatXRGB8888;
}

std::unique_ptr<Bitmap> AsciiTextureResource::GetMip(uint32_t level, uint32_t image)
{
    if (!image_ || image != 0 || level >= AsciiTextureResource::GetNumMipLevels()) return nullptr;
    auto mip = std::make_unique<Bitmap>();
    if (!mip->Init(image_->GetWidth(), image_->GetHeight(), image_->GetPitch(), image_->GetFormat(), image_->GetData(),
                   image_->GetDataSize()))
        return nullptr;
    for (uint32_t i = 0; i < level && mip; ++i)
        mip = mip->Scale(std::max(mip->GetWidth() / 2, 1u), std::max(mip->GetHeight() / 2, 1u));
    return mip;
}

}  // namespace Orvo
