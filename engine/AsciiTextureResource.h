#pragma once
// A texture made from a texture description ("<name>.texture.txt", TextureDescription.h) and the images it
// names. LoadTxt reads the description and hands it to LoadConfigData, which takes the texture's keys;
// LoadTextureOptions takes the same option keys from elsewhere (the compiler's options). GetMipLock loads
// the images: "Primary" (required) and "Alpha" (optional: its grey level becomes the primary's alpha; both
// must have the same size), each named relative to the description's folder and never outside it.
// Failures leave a reason in GetLoadError.
#include "engine/ConfigParser.h"
#include "engine/TextureResource.h"

#include <memory>
#include <string>
#include <vector>

namespace Orvo {

class AsciiTextureResource : public TextureResource
{
public:
    AsciiTextureResource(const PString& name, ResourceDatabase* database);

    int LoadTxt(const std::string& fileName) override;
    // The description's configuration data: root { Texture { key value ... } }.
    virtual bool LoadConfigData(const ConfigData& config);
    // Option keys ("Hint", "AlphaHint", "Anisotropy", "AutoMip", "MagFilter", "MinFilter", "MipFilter",
    // "Tile") given as children of `options`; false with a reason for a value that is not understood.
    bool LoadTextureOptions(const ConfigData& options);

    void GetSize(uint32_t& width, uint32_t& height) override;
    uint32_t GetNumMipLevels() override;
    uint32_t GetTargetFormat() override;
    bool GetMipLock() override;
    std::unique_ptr<Bitmap> GetMip(uint32_t level, uint32_t image) override;
    bool GetMipUnlock() override;

    const std::string& GetLoadError() const { return loadError_; }

    // The description at `descriptionPath` read (only a regular file within the description's bound, never
    // waited on) and parsed: its text and the image names it gives, trimmed ("Primary", "Alpha"; empty when
    // not given). False when it cannot be read or does not parse.
    static bool ReadImageNames(const std::string& descriptionPath, std::string& text, std::string& primary,
                               std::string& alpha);
    // The size that the primary image of the description at `descriptionPath` declares in its header,
    // without decoding it (for ordering work by size); false when either file cannot be read (or is no
    // regular file).
    static bool ReadPrimarySize(const std::string& descriptionPath, uint32_t& width, uint32_t& height);
    const std::string& GetPrimaryName() const { return primary_; }
    const std::string& GetAlphaName() const { return alpha_; }
    // The files the texture is made from, as paths to open: the description read, and the images it names.
    std::vector<std::string> SourceFiles() const;

protected:
    bool SetLoadError(std::string text);

private:
    bool ApplyKey(const ConfigData& item);
    std::unique_ptr<Bitmap> LoadImage(const std::string& name, const char* key);

    std::string description_;  // the description read, as a path to open
    std::string folder_;       // the description's folder, as a path to open
    std::string primary_;
    std::string alpha_;
    bool alphaHintGiven_ = false;
    std::unique_ptr<Bitmap> image_;
    std::string loadError_;
};

}  // namespace Orvo
