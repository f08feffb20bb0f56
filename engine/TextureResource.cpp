#include "engine/TextureResource.h"

#include "engine/Log.h"
#include "engine/OIRFFile.h"
#include "engine/TextureFormat.h"

#include <algorithm>
#include <cstring>

namespace Orvo {

namespace {

constexpr uint32_t kHeaderTag = OIRFTag("TXHD");
constexpr uint32_t kLevelTag = OIRFTag("TXLV");
constexpr uint32_t kChunkVersion = 1;
constexpr uint32_t kHeaderBytes = 28;
constexpr uint32_t kLevelHeaderBytes = 20;

enum HeaderFlags : uint8_t
{
    kFlagAlpha = 1,
    kFlagNormalMap = 2,
    kFlagAutoMip = 4,
};

bool PutU32(File& f, uint32_t v)
{
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return f.Write(b, 4) == 4;
}

uint32_t LevelSide(uint32_t side, uint32_t level) { return std::max(side >> std::min(level, 31u), 1u); }

}  // namespace

TextureResource::TextureResource(const PString& name, ResourceDatabase* database) : Resource(name, database) {}

void TextureResource::GetSize(uint32_t& width, uint32_t& height)
{
    width = width_;
    height = height_;
}

uint32_t TextureResource::GetNumMipLevels() { return levelCount_; }

bool TextureResource::GetMipLock() { return !images_.empty(); }

bool TextureResource::GetMipUnlock() { return true; }

std::unique_ptr<Bitmap> TextureResource::GetMip(uint32_t level, uint32_t image)
{
    if (image >= images_.size() || level >= images_[image].size()) return nullptr;
    const Bitmap& l = *images_[image][level];
    auto alias = std::make_unique<Bitmap>();
    if (!alias->Init(l.GetWidth(), l.GetHeight(), l.GetPitch(), l.GetFormat(), const_cast<uint8_t*>(l.GetData()),
                     l.GetDataSize()))
        return nullptr;
    return alias;
}

size_t TextureResource::CalculateDataSize() const
{
    size_t total = 0;
    for (const auto& image : images_)
        for (const auto& level : image) total += level->GetDataSize();
    return total;
}

bool TextureResource::SaveLockedInternal(File& file, Display*)
{
    uint32_t width = 0, height = 0;
    GetSize(width, height);
    const uint32_t format = GetTargetFormat();
    const uint32_t images = GetDepth();
    const uint32_t levels = GetNumMipLevels();
    if (!IsKnownDFormat(format) || images == 0 || images > kMaxImages || levels == 0 ||
        levels > FullMipChainLength(width, height))
        return false;
    {
        OIRFChunkWriter chunk(file, kHeaderTag, kChunkVersion);
        const uint8_t flags = uint8_t((alphaFlag_ ? kFlagAlpha : 0) | (normalMapHint_ ? kFlagNormalMap : 0) |
                                      (autoMip_ ? kFlagAutoMip : 0));
        const uint8_t bytes[8] = {flags, wrapS_, wrapT_, alphaHint_, minFilter_, magFilter_, mipFilter_, anisotropy_};
        if (!chunk.IsOk() || !PutU32(file, width) || !PutU32(file, height) || !PutU32(file, format) ||
            !PutU32(file, images) || !PutU32(file, levels) || file.Write(bytes, 8) != 8 || !chunk.Finish())
            return false;
    }
    const bool uncompressed = !IsCompressedDFormat(format);
    for (uint32_t image = 0; image < images; ++image)
        for (uint32_t level = 0; level < levels; ++level)
        {
            std::unique_ptr<Bitmap> mip = GetMip(level, image);
            const uint32_t w = LevelSide(width, level), h = LevelSide(height, level);
            const size_t size = DFormatLevelSize(format, w, h);
            if (!mip || mip->GetWidth() != w || mip->GetHeight() != h || size == 0) return false;
            if (uncompressed ? Bitmap::BytesPerPixel(mip->GetFormat()) != 4
                             : (mip->GetFormat() != Bitmap::FormatRaw || mip->GetDataSize() != size))
                return false;
            OIRFChunkWriter chunk(file, kLevelTag, kChunkVersion);
            bool ok = chunk.IsOk() && PutU32(file, image) && PutU32(file, level) && PutU32(file, w) &&
                      PutU32(file, h) && PutU32(file, uint32_t(size));
            if (uncompressed)
                for (uint32_t y = 0; ok && y < h; ++y) ok = file.Write(mip->Row(y), size_t(w) * 4) == size_t(w) * 4;
            else
                ok = ok && file.Write(mip->GetData(), size) == size;
            static const uint8_t zeros[3] = {0, 0, 0};
            const size_t pad = (4 - size % 4) % 4;
            if (!ok || file.Write(zeros, pad) != pad || !chunk.Finish()) return false;
        }
    return true;
}

int TextureResource::Load(const std::string& fileName)
{
    OIRFFile in;
    const std::string path = GetFilePath(fileName);
    if (in.Open(path) != OIRFFile::Ok || in.GetFormTag() != OIRFTag("MMTF"))
    {
        Log::Printf("TextureResource::Load> '%s' is not a compiled texture", path.c_str());
        return LoadFailed;
    }
    MemoryFile& data = in.Data();
    OIRFChunk chunk;
    uint32_t width = 0, height = 0, format = 0, images = 0, levels = 0;
    uint8_t bytes[8] = {};
    if (!in.FindChunk(kHeaderTag, chunk) || chunk.version != kChunkVersion ||
        chunk.end - chunk.dataStart < kHeaderBytes || !data.Read(width) || !data.Read(height) || !data.Read(format) ||
        !data.Read(images) || !data.Read(levels) || !data.ReadBytes(bytes, 8) || !in.SkipChunk(chunk) || width == 0 ||
        height == 0 || width > Bitmap::kMaxSide || height > Bitmap::kMaxSide || !IsKnownDFormat(format) ||
        images == 0 || images > kMaxImages || levels == 0 || levels > FullMipChainLength(width, height))
    {
        Log::Printf("TextureResource::Load> '%s' has a damaged texture header", path.c_str());
        return LoadFailed;
    }
    std::vector<std::vector<std::unique_ptr<Bitmap>>> read(images);
    for (uint32_t image = 0; image < images; ++image)
        for (uint32_t level = 0; level < levels; ++level)
        {
            uint32_t i = 0, l = 0, w = 0, h = 0, size = 0;
            const uint32_t ew = LevelSide(width, level), eh = LevelSide(height, level);
            const size_t expected = DFormatLevelSize(format, ew, eh);
            if (!in.FindChunk(kLevelTag, chunk) || chunk.version != kChunkVersion || !data.Read(i) || !data.Read(l) ||
                !data.Read(w) || !data.Read(h) || !data.Read(size) || i != image || l != level || w != ew || h != eh ||
                size != expected || chunk.end - chunk.dataStart < kLevelHeaderBytes + size_t(size))
            {
                Log::Printf("TextureResource::Load> '%s' has a damaged level %u of image %u", path.c_str(), level,
                            image);
                return LoadFailed;
            }
            auto bmp = std::make_unique<Bitmap>();
            const uint32_t pixelFormat = !IsCompressedDFormat(format)
                                             ? (format == DFormatARGB8888 ? Bitmap::FormatARGB32 : Bitmap::FormatXRGB32)
                                             : Bitmap::FormatRaw;
            if (!bmp->Init(w, h, 0, pixelFormat, nullptr, pixelFormat == Bitmap::FormatRaw ? size : 0) ||
                !data.ReadBytes(bmp->GetData(), size) || !in.SkipChunk(chunk))
            {
                Log::Printf("TextureResource::Load> '%s': level %u of image %u cannot be read", path.c_str(), level,
                            image);
                return LoadFailed;
            }
            read[image].push_back(std::move(bmp));
        }
    images_ = std::move(read);
    width_ = width;
    height_ = height;
    format_ = format;
    depth_ = images;
    levelCount_ = levels;
    alphaFlag_ = (bytes[0] & kFlagAlpha) != 0;
    normalMapHint_ = (bytes[0] & kFlagNormalMap) != 0;
    autoMip_ = (bytes[0] & kFlagAutoMip) != 0;
    wrapS_ = bytes[1];
    wrapT_ = bytes[2];
    alphaHint_ = bytes[3];
    minFilter_ = bytes[4];
    magFilter_ = bytes[5];
    mipFilter_ = bytes[6];
    anisotropy_ = bytes[7];
    return LoadOk;
}

}  // namespace Orvo
