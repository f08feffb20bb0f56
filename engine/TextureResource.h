#pragma once
// Texture resources. TextureResource is the compiled texture (extension "texture", the "OIRF" container
// with form "MMTF"): its mip levels as the display uses them, in one display format (TextureFormat.h),
// with the options the texture was compiled with. Subclasses that make their levels some other way (from
// a description and its images) hand them out through the same virtual operations, and
// SaveLockedInternal writes whatever they hand out. The file layout is described in textures/README.md.
#include "engine/Bitmap.h"
#include "engine/File.h"
#include "engine/Resource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Orvo {

class Display;

class TextureResource : public Resource
{
public:
    // Wrap modes of the two texture axes.
    enum Wrap : uint8_t
    {
        WrapClamp = 1,
        WrapRepeat = 2,
    };
    enum Filter : uint8_t
    {
        FilterNone = 0,  // (mip filter only) no mipmaps
        FilterNearest = 1,
        FilterLinear = 2,
    };
    static constexpr uint32_t kMaxImages = 6;

    TextureResource(const PString& name, ResourceDatabase* database);

    // Reads a compiled texture.
    int Load(const std::string& fileName) override;
    size_t CalculateDataSize() const override;

    // The texture's size (level 0) and its number of images.
    virtual void GetSize(uint32_t& width, uint32_t& height);
    virtual uint32_t GetDepth() const { return depth_; }
    // The display format of the levels handed out, and whether it keeps alpha.
    virtual uint32_t GetTargetFormat() { return format_; }
    bool GetAlphaFlag() const { return alphaFlag_; }
    virtual uint32_t GetNumMipLevels();
    // Makes the levels available; GetMip then hands each out as a new image that aliases the level's bytes
    // (null for a level or image that does not exist); GetMipUnlock lets them go.
    virtual bool GetMipLock();
    virtual std::unique_ptr<Bitmap> GetMip(uint32_t level, uint32_t image);
    virtual bool GetMipUnlock();

    bool UseMipMaps() const { return mipFilter_ != FilterNone; }
    uint8_t GetWrapS() const { return wrapS_; }
    uint8_t GetWrapT() const { return wrapT_; }
    uint8_t GetAlphaHint() const { return alphaHint_; }
    bool GetNormalMapHint() const { return normalMapHint_; }

    // Writes the container's chunks (after the caller's OIRF header) for the levels that GetMip hands out:
    // the header chunk, then every level of every image. The levels must be locked. `display` may be null.
    // False when a level is missing or has the wrong size, or a write fails.
    bool SaveLockedInternal(File& file, Display* display);

protected:
    // Options the texture carries into its compiled form.
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t depth_ = 1;
    uint32_t format_ = 1;
    bool alphaFlag_ = true;
    uint8_t alphaHint_ = 255;       // 0 opaque, 1 full alpha, 2 1-bit alpha, 255 not known
    uint32_t compressionKind_ = 4;  // 0 none, 1..3 DXT1/DXT3/DXT5 families, 4 chosen by the options
    bool normalMapHint_ = false;
    uint8_t modifyMap_ = 0;  // 1: the green channel is inverted when compiling
    uint8_t wrapS_ = WrapRepeat;
    uint8_t wrapT_ = WrapRepeat;
    uint8_t minFilter_ = FilterLinear;
    uint8_t magFilter_ = FilterLinear;
    uint8_t mipFilter_ = FilterLinear;
    uint8_t anisotropy_ = 1;
    bool autoMip_ = true;

private:
    // Levels of a loaded compiled texture: images_[image][level].
    std::vector<std::vector<std::unique_ptr<Bitmap>>> images_;
    uint32_t levelCount_ = 0;
};

}  // namespace Orvo
