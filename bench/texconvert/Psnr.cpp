#include "Psnr.h"

#include "engine/PString.h"
#include "engine/TextureFormat.h"
#include "engine/TextureResource.h"

#include <squish.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// libsquish decodes to red, green, blue, alpha; the rest of the benchmark keeps the engine's order.
bool DecodeBlocks(const uint8_t* blocks, size_t size, uint32_t width, uint32_t height, int flags, DecodedLevel& out)
{
    const size_t blockBytes = (flags & squish::kDxt1) != 0 ? 8 : 16;
    if (size < size_t((width + 3) / 4) * ((height + 3) / 4) * blockBytes) return false;
    out.width = width;
    out.height = height;
    out.bgra.resize(size_t(width) * height * 4);
    squish::DecompressImage(out.bgra.data(), int(width), int(height), blocks, flags);
    for (size_t i = 0; i < out.bgra.size(); i += 4) std::swap(out.bgra[i], out.bgra[i + 2]);
    out.blockCompressed = true;
    return true;
}

}  // namespace

bool DecodeCompiledTexture(const std::string& path, DecodedLevel& out)
{
    Orvo::TextureResource texture(Orvo::PString("bench"), nullptr);
    if (texture.Load(path) != Orvo::Resource::LoadOk || !texture.GetMipLock()) return false;
    const std::unique_ptr<Orvo::Bitmap> level = texture.GetMip(0, 0);
    bool ok = level != nullptr;
    if (ok)
    {
        switch (texture.GetTargetFormat())
        {
        case Orvo::DFormatDXT1:
            ok = DecodeBlocks(level->GetData(), level->GetDataSize(), level->GetWidth(), level->GetHeight(),
                              squish::kDxt1, out);
            break;
        case Orvo::DFormatDXT3:
            ok = DecodeBlocks(level->GetData(), level->GetDataSize(), level->GetWidth(), level->GetHeight(),
                              squish::kDxt3, out);
            break;
        case Orvo::DFormatDXT5:
            ok = DecodeBlocks(level->GetData(), level->GetDataSize(), level->GetWidth(), level->GetHeight(),
                              squish::kDxt5, out);
            break;
        case Orvo::DFormatARGB8888:
        case Orvo::DFormatXRGB8888:
            out.width = level->GetWidth();
            out.height = level->GetHeight();
            out.bgra.resize(size_t(out.width) * out.height * 4);
            for (uint32_t y = 0; y < out.height; ++y)
                std::memcpy(&out.bgra[size_t(y) * out.width * 4], level->Row(y), size_t(out.width) * 4);
            out.blockCompressed = false;
            break;
        default: ok = false;
        }
    }
    texture.GetMipUnlock();
    return ok;
}

bool DecodeDds(const std::string& path, DecodedLevel& out)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < 128 || std::memcmp(file.data(), "DDS ", 4) != 0) return false;
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, &file[at], 4);
        return v;
    };
    const uint32_t height = u32(12), width = u32(16);
    const char* fourCC = reinterpret_cast<const char*>(&file[84]);
    int flags = 0;
    if (std::memcmp(fourCC, "DXT1", 4) == 0) flags = squish::kDxt1;
    if (std::memcmp(fourCC, "DXT3", 4) == 0) flags = squish::kDxt3;
    if (std::memcmp(fourCC, "DXT5", 4) == 0) flags = squish::kDxt5;
    if (flags == 0 || width == 0 || height == 0 || width > 16384 || height > 16384) return false;
    return DecodeBlocks(file.data() + 128, file.size() - 128, width, height, flags, out);
}

std::unique_ptr<Orvo::Bitmap> LoadSource(const std::string& path, uint32_t width, uint32_t height)
{
    Orvo::String reason;
    std::unique_ptr<Orvo::Bitmap> image = Orvo::Bitmap::Load(path, reason);
    if (image && (image->GetWidth() != width || image->GetHeight() != height)) image = image->Scale(width, height);
    return image;
}

double OpaquePsnr(const Orvo::Bitmap& source, const DecodedLevel& level)
{
    if (source.GetWidth() != level.width || source.GetHeight() != level.height) return -1;
    const bool alpha = source.HasAlphaChannel();
    double squares = 0;
    size_t samples = 0;
    for (uint32_t y = 0; y < level.height; ++y)
    {
        const uint8_t* s = source.Row(y);
        const uint8_t* d = &level.bgra[size_t(y) * level.width * 4];
        for (uint32_t x = 0; x < level.width; ++x, s += 4, d += 4)
        {
            if (alpha && s[3] != 255) continue;
            for (int c = 0; c < 3; ++c)
            {
                const double e = double(s[c]) - double(d[c]);
                squares += e * e;
            }
            samples += 3;
        }
    }
    if (samples == 0) return -1;
    const double mse = squares / double(samples);
    return mse > 0 ? std::min(99.0, 10.0 * std::log10(255.0 * 255.0 / mse)) : 99.0;
}
