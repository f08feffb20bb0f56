#include "textures/TextureCompress.h"

#include "engine/TextureFormat.h"
#include "textures/Etc1Codec.h"
#include "textures/KaiserMipChain.h"
#include "textures/TextureTargets.h"
#include "textures/codec/CodecTexture.h"

#include <nvtt/nvtt.h>

#include <algorithm>
#include <cstring>

using Orvo::Bitmap;

namespace {

// The codec format of a DXT or ATC display format; 0 for others.
int32_t CodecFormatOf(uint32_t format)
{
    switch (format)
    {
    case Orvo::DFormatDXT1: return CF_DXT1;
    case Orvo::DFormatDXT3: return CF_DXT3;
    case Orvo::DFormatDXT5: return CF_DXT5;
    case Orvo::DFormatATC: return CF_ATC_RGB;
    case Orvo::DFormatATCExplicit: return CF_ATC_RGBA_Explicit;
    case Orvo::DFormatATCInterpolated: return CF_ATC_RGBA_Interpolated;
    default: return 0;
    }
}

// A 32-bit image as the codec library sees it (8-bit layouts are blue, green, red, alpha in memory).
CodecTextureDesc PixelDesc(const Bitmap& image)
{
    CodecTextureDesc d{};
    d.size = kCodecTextureDescSize;
    d.width = image.GetWidth();
    d.height = image.GetHeight();
    d.pitch = image.GetPitch();
    d.format = CF_ARGB8888;
    d.dataSize = uint32_t(std::min<size_t>(image.GetDataSize(), UINT32_MAX));
    d.data = const_cast<uint8_t*>(image.GetData());
    return d;
}

std::unique_ptr<Bitmap> HalfSize(const Bitmap& image)
{
    return image.Scale(std::max(image.GetWidth() / 2, 1u), std::max(image.GetHeight() / 2, 1u));
}

}  // namespace

// Collects the uncompressed levels that nvtt hands over: beginImage starts a level, writeData fills it.
class NvttLevelHandler : public nvtt::OutputHandler
{
public:
    void beginImage(int size, int width, int height, int, int, int) override
    {
        Flush();
        if (size <= 0 || width <= 0 || height <= 0 || size_t(size) != size_t(width) * height * 4) return;
        pending_ = std::make_unique<Bitmap>(uint32_t(width), uint32_t(height), Bitmap::FormatARGB32);
        if (!pending_->IsValid()) pending_.reset();
        written_ = 0;
    }
    bool writeData(const void* data, int size) override
    {
        if (!pending_ || size < 0 || written_ + size_t(size) > pending_->GetDataSize()) return false;
        std::memcpy(pending_->GetData() + written_, data, size_t(size));
        written_ += size_t(size);
        return true;
    }
    // Keeps the level being filled when it is complete.
    void Flush()
    {
        if (pending_ && written_ == pending_->GetDataSize()) levels.push_back(std::move(pending_));
        pending_.reset();
        written_ = 0;
    }

    std::vector<std::unique_ptr<Bitmap>> levels;

private:
    std::unique_ptr<Bitmap> pending_;
    size_t written_ = 0;
};

namespace {

class NvttErrorText : public nvtt::ErrorHandler
{
public:
    void error(nvtt::Error e) override { text = nvtt::errorString(e); }
    std::string text;
};

}  // namespace

void TextureCompress::Clear()
{
    levels_.clear();
    lastError_.clear();
    format_ = 0;
}

bool TextureCompress::Fail(std::string text)
{
    lastError_ = std::move(text);
    return false;
}

bool TextureCompress::ToolMakesMips(const PStringArray& targets)
{
    return (TextureTargetListHas(targets, "pvrtc") || TextureTargetListHas(targets, "ios")) &&
           !TextureTargetListHas(targets, "atc");
}

bool TextureCompress::AddLevel(uint32_t width, uint32_t height, const uint8_t* bytes, size_t size)
{
    auto level = std::make_unique<Bitmap>();
    if (!level->Init(width, height, 0, Bitmap::FormatRaw, const_cast<uint8_t*>(bytes), size)) return false;
    level->DetachAlias();
    if (!level->IsValid()) return false;
    levels_.push_back(std::move(level));
    return true;
}

bool TextureCompress::Compress(Bitmap& image, const PStringArray& targets, uint32_t format, bool alpha, bool wrap,
                               bool normalMap, bool mips)
{
    CopyTextureTargetList(targets_, targets);
    lastError_.clear();
    format_ = format;
    if (image.GetFormat() != Bitmap::FormatARGB32 && image.GetFormat() != Bitmap::FormatXRGB32)
        return Fail("the image is not a 32-bit image");
    const bool pvr = TextureTargetListHas(targets, "pvrtc") || TextureTargetListHas(targets, "ios");
    if (pvr && TextureTargetListHas(targets, "atc"))
        return Fail("the targets \"atc\" and \"pvrtc\"/\"ios\" cannot be served in one texture");

    // Where the format keeps no alpha the top byte is set opaque, so no encoder sees stray values there.
    const bool keepsAlpha = format == Orvo::DFormatARGB8888 || format == Orvo::DFormatDXT3 ||
                            format == Orvo::DFormatDXT5 || format == Orvo::DFormatATCExplicit ||
                            format == Orvo::DFormatATCInterpolated || format == Orvo::DFormatPVRTC4Alpha ||
                            (format == Orvo::DFormatDXT1 && alpha);
    if (image.GetFormat() == Bitmap::FormatXRGB32 || !keepsAlpha)
        for (uint32_t y = 0; y < image.GetHeight(); ++y)
            for (uint32_t x = 0; x < image.GetWidth(); ++x) image.Row(y)[x * 4 + 3] = 0xFF;

    switch (format)
    {
    case Orvo::DFormatARGB8888:
    case Orvo::DFormatXRGB8888: return CopyUncompressed(image, mips);
    case Orvo::DFormatDXT1:
    case Orvo::DFormatDXT3:
    case Orvo::DFormatDXT5:
        if (!TextureTargetListHas(targets, "dxtc")) return Fail("DXT formats need the target \"dxtc\"");
        return CompressDxt(image, alpha, wrap, normalMap, mips);
    case Orvo::DFormatATC:
    case Orvo::DFormatATCExplicit:
    case Orvo::DFormatATCInterpolated:
        if (!TextureTargetListHas(targets, "atc")) return Fail("ATC formats need the target \"atc\"");
        return CompressPerLevel(image, mips);
    case Orvo::DFormatETC1:
        if (!TextureTargetListHas(targets, "etc1")) return Fail("ETC1 needs the target \"etc1\"");
        return CompressPerLevel(image, mips);
    case Orvo::DFormatPVRTC4:
    case Orvo::DFormatPVRTC4Alpha:
        if (!pvr) return Fail("PVRTC needs the target \"pvrtc\" or \"ios\"");
        return CompressWithPvrTexTool(image, mips);
    default: return Fail("unknown texture format " + std::to_string(format));
    }
}

bool TextureCompress::CopyUncompressed(const Bitmap& image, bool mips)
{
    const uint32_t pixelFormat = format_ == Orvo::DFormatARGB8888 ? Bitmap::FormatARGB32 : Bitmap::FormatXRGB32;
    auto level = std::make_unique<Bitmap>(image.GetWidth(), image.GetHeight(), pixelFormat);
    if (!level->IsValid() || !level->CopyImage(image, 0, 0)) return Fail("out of memory");
    levels_.push_back(std::move(level));
    while (mips && (levels_.back()->GetWidth() > 1 || levels_.back()->GetHeight() > 1))
    {
        auto next = HalfSize(*levels_.back());
        if (!next) return Fail("out of memory");
        levels_.push_back(std::move(next));
    }
    return true;
}

namespace {

// Normal maps take nvtt's own chain: box-filtered and renormalised. Level 0 comes back as it went in.
bool NvttNormalMapChain(const Bitmap& image, bool wrap, bool mips, std::vector<std::unique_ptr<Bitmap>>& levels,
                        std::string& error)
{
    NvttLevelHandler handler;
    NvttErrorText errors;
    nvtt::InputOptions input;
    input.setTextureLayout(nvtt::TextureType_2D, int(image.GetWidth()), int(image.GetHeight()));
    input.setMipmapGeneration(mips, -1);
    input.setNormalMap(true);
    input.setWrapMode(wrap ? nvtt::WrapMode_Repeat : nvtt::WrapMode_Clamp);
    input.setMipmapFilter(nvtt::MipmapFilter_Box);
    // Packed rows: nvtt takes width x 4 bytes per row.
    std::vector<uint8_t> packed;
    const void* pixels = image.GetData();
    if (image.GetPitch() != image.GetWidth() * 4)
    {
        packed.resize(size_t(image.GetWidth()) * image.GetHeight() * 4);
        for (uint32_t y = 0; y < image.GetHeight(); ++y)
            std::memcpy(&packed[size_t(y) * image.GetWidth() * 4], image.Row(y), image.GetWidth() * 4);
        pixels = packed.data();
    }
    if (!input.setMipmapData(pixels, int(image.GetWidth()), int(image.GetHeight())))
    {
        error = "NVIDIA Texture Tools refused the image";
        return false;
    }
    nvtt::CompressionOptions compression;
    compression.setFormat(nvtt::Format_RGBA);
    compression.setPixelFormat(32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    nvtt::OutputOptions output;
    output.setOutputHandler(&handler);
    output.setErrorHandler(&errors);
    output.setOutputHeader(false);
    nvtt::Compressor compressor;
    if (!compressor.process(input, compression, output))
    {
        error = errors.text.empty() ? std::string("NVIDIA Texture Tools failed") : errors.text;
        return false;
    }
    handler.Flush();
    levels = std::move(handler.levels);
    if (levels.empty())
    {
        error = "NVIDIA Texture Tools produced no level";
        return false;
    }
    return true;
}

// The number of levels of a full chain down to 1 x 1.
size_t FullChainLength(uint32_t width, uint32_t height)
{
    size_t n = 1;
    for (; width > 1 || height > 1; ++n) width = std::max(width / 2, 1u), height = std::max(height / 2, 1u);
    return n;
}

}  // namespace

bool TextureCompress::CompressDxt(const Bitmap& image, bool alpha, bool wrap, bool normalMap, bool mips)
{
    // Level 0 is the image itself. Colour textures are halved by the Kaiser chain, which gives nvtt's levels
    // without nvtt's costs (KaiserMipChain.h); normal maps keep nvtt's renormalising box chain.
    std::vector<std::unique_ptr<Bitmap>> chain;
    std::vector<const Bitmap*> levels;
    if (normalMap)
    {
        std::string error;
        if (!NvttNormalMapChain(image, wrap, mips, chain, error)) return Fail(error);
        for (const auto& level : chain) levels.push_back(level.get());
    }
    else
    {
        levels.push_back(&image);
        if (mips)
        {
            chain = MakeKaiserMipChain(image, wrap);
            if (chain.size() + 1 != FullChainLength(image.GetWidth(), image.GetHeight())) return Fail("out of memory");
            for (const auto& level : chain) levels.push_back(level.get());
        }
    }

    CodecOptions options{};
    options.size = kCodecOptionsSize;
    options.compressionSpeed = 0;
    options.dxt1UseAlpha = format_ == Orvo::DFormatDXT1 && alpha ? 1 : 0;
    options.alphaThreshold = 128;
    for (const Bitmap* level : levels)
    {
        CodecTextureDesc src = PixelDesc(*level);
        CodecTextureDesc dst{};
        dst.size = kCodecTextureDescSize;
        dst.width = level->GetWidth();
        dst.height = level->GetHeight();
        dst.format = CodecFormatOf(format_);
        dst.dataSize = CodecTextureSize(&dst);
        std::vector<uint8_t> blocks(dst.dataSize);
        dst.data = blocks.data();
        if (dst.dataSize == 0 || ConvertCodecTexture(&src, &dst, &options, nullptr, 0, 0) != CODEC_OK)
            return Fail("the DXTC encoder failed");
        if (!AddLevel(dst.width, dst.height, blocks.data(), blocks.size())) return Fail("out of memory");
    }
    return true;
}

bool TextureCompress::CompressPerLevel(const Bitmap& image, bool mips)
{
    if (!CompressLevel(image)) return false;
    std::unique_ptr<Bitmap> current;
    const Bitmap* last = &image;
    while (mips && (last->GetWidth() > 1 || last->GetHeight() > 1))
    {
        current = HalfSize(*last);
        if (!current) return Fail("out of memory");
        if (!CompressLevel(*current)) return false;
        last = current.get();
    }
    return true;
}

bool TextureCompress::CompressLevel(const Bitmap& level)
{
    if (format_ == Orvo::DFormatETC1) return CompressLevelETC1(level);
    return CompressLevelATC(level);
}

bool TextureCompress::CompressLevelATC(const Bitmap& level)
{
    CodecTextureDesc src = PixelDesc(level);
    CodecTextureDesc dst{};
    dst.size = kCodecTextureDescSize;
    dst.width = level.GetWidth();
    dst.height = level.GetHeight();
    dst.format = CodecFormatOf(format_);
    dst.dataSize = CodecTextureSize(&dst);
    std::vector<uint8_t> blocks(dst.dataSize);
    dst.data = blocks.data();
    CodecOptions options{};
    options.size = kCodecOptionsSize;
    if (dst.dataSize == 0 || ConvertCodecTexture(&src, &dst, &options, nullptr, 0, 0) != CODEC_OK)
        return Fail("the ATC encoder failed");
    if (!AddLevel(dst.width, dst.height, blocks.data(), blocks.size())) return Fail("out of memory");
    return true;
}

bool TextureCompress::CompressLevelETC1(const Bitmap& level)
{
    // The ETC1 codec takes packed red, green, blue. The image is padded to whole blocks here (repeating
    // the last column and row, as the codec would) so that the codec has nothing to pad or report.
    const uint32_t w = level.GetWidth(), h = level.GetHeight();
    const uint32_t pw = (w + 3) / 4 * 4, ph = (h + 3) / 4 * 4;
    std::vector<uint8_t> rgb(size_t(pw) * ph * 3);
    for (uint32_t y = 0; y < ph; ++y)
    {
        const uint8_t* row = level.Row(std::min(y, h - 1));
        for (uint32_t x = 0; x < pw; ++x)
        {
            const uint8_t* p = row + size_t(std::min(x, w - 1)) * 4;
            uint8_t* d = &rgb[(size_t(y) * pw + x) * 3];
            d[0] = p[2];
            d[1] = p[1];
            d[2] = p[0];
        }
    }
    std::unique_ptr<uint8_t[]> blocks;
    int across = 0, down = 0;
    if (!CompressImageETC1(rgb.data(), rgb.size(), int(pw), int(ph), blocks, across, down))
        return Fail("the ETC1 encoder failed");
    const size_t size = std::max<size_t>(size_t(across) * size_t(down) * 8, 8);
    if (!AddLevel(w, h, blocks.get(), size)) return Fail("out of memory");
    return true;
}

void InvertNormalMapGreen(Bitmap& image)
{
    // Steps by the image's own pixel size, so 24-bit images are walked as such and never overrun.
    const uint32_t bpp = Bitmap::BytesPerPixel(image.GetFormat());
    if (bpp == 0) return;
    for (uint32_t y = 0; y < image.GetHeight(); ++y)
    {
        uint8_t* p = image.Row(y);
        for (uint32_t x = 0; x < image.GetWidth(); ++x, p += bpp)
        {
            bool zero = true;
            for (uint32_t c = 0; c < bpp; ++c) zero = zero && p[c] == 0;
            if (!zero) p[1] = uint8_t(255 - p[1]);
        }
    }
}
