#pragma once
// The compressing texture resource: a texture description ("x.convert-tex.txt" while the batch conversion
// has it renamed) whose mip levels are compressed for a target list and written as a compiled texture.
// The owner sets the targets and the options before locking it; GetMipLock loads the images and compresses
// them (TextureCompress); WriteCompressedFile writes the compiled file whole or not at all.
#include "assetdb/PStringArray.h"
#include "engine/AsciiTextureResource.h"
#include "engine/ResourceTypeBase.h"
#include "textures/TextureCompress.h"
#include "textures/TextureFormatChoice.h"

#include <memory>
#include <string>
#include <vector>

namespace Orvo {
class Options;
}

class CompressAsciiResource : public Orvo::AsciiTextureResource
{
public:
    CompressAsciiResource(const Orvo::PString& name, Orvo::ResourceDatabase* database);

    // Copies the targets and sets the size limits they imply.
    void SetTargets(const PStringArray& targets);
    // The texture options; not owned, must outlive the loading.
    void SetOptions(const Orvo::Options* options) { options_ = options; }
    const TextureSizeLimits& GetLimits() const { return limits_; }
    // The stamp of what the texture is made from (TextureStamp.h), written as the compiled file's last chunk.
    void SetSourceStamp(uint64_t stamp)
    {
        stamp_ = stamp;
        hasStamp_ = true;
    }

    int LoadTxt(const std::string& fileName) override;
    bool LoadConfigData(const Orvo::ConfigData& config) override;
    void GetSize(uint32_t& width, uint32_t& height) override;
    uint32_t GetTargetFormat() override;
    uint32_t GetNumMipLevels() override;
    bool GetMipLock() override;
    std::unique_ptr<Orvo::Bitmap> GetMip(uint32_t level, uint32_t image) override;
    bool GetMipUnlock() override;

    // Loads the base images (the engine's own mip lock), before CompressAllImages.
    bool LockBaseMips() { return AsciiTextureResource::GetMipLock(); }
    // Compresses every image for the targets; false with GetCompressError set.
    bool CompressAllImages();
    // Compresses (the base mips must be locked) and writes the compiled texture to `path` inside the content
    // source `sourceName` (empty: `path` as it stands), as any output a user names is written
    // (Platform::OutputFile): a failure leaves any previous compiled texture as it was, and a file the texture
    // is made from is never written over. False with GetCompressError set.
    bool WriteCompressedFile(const std::string& sourceName, const std::string& path);
    // The same, locking and unlocking the mips itself.
    bool SaveCompressed(const std::string& path);

    // Why compression or writing failed, for this resource alone.
    const std::string& GetCompressError() const { return compressError_; }

private:
    bool WriteFile(const std::string& sourceName, const std::string& path);
    bool WriteStamp(Orvo::File& file);

    std::vector<std::unique_ptr<TextureCompress>> compressed_;
    const Orvo::Options* options_ = nullptr;
    PStringArray targets_;
    bool forceOptions_ = false;
    bool bumpMap_ = false;
    TextureSizeLimits limits_;
    std::string compressError_;
    uint64_t stamp_ = 0;
    bool hasStamp_ = false;
};

// Registers the texture resource types once: "texture" (compiled), "texture.txt" (descriptions) and
// "convert-tex.txt" (descriptions being compiled, as CompressAsciiResource).
void RegisterTextureResourceTypes();
