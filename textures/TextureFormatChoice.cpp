#include "textures/TextureFormatChoice.h"

#include "engine/ConfigParser.h"
#include "engine/Options.h"
#include "engine/TextCase.h"
#include "textures/TextureTargets.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

constexpr uint32_t kLimitCeiling = 16384;
// The smallest side a PVRTC texture is compressed at; smaller pictures stay uncompressed.
constexpr uint32_t kSmallestPvrtcSide = 8;

bool Has(const PStringArray& targets, const char* name) { return TextureTargetListHas(targets, name); }

std::string Lower(std::string_view text)
{
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// A whole signed number of the item's value; false when it is not one.
bool ReadInteger(const Orvo::ConfigData* item, long long& out)
{
    if (item == nullptr || item->value.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(item->value.c_str(), &end, 10);
    if (errno != 0 || end == item->value.c_str()) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return false;
    out = v;
    return true;
}

}  // namespace

CompressionTable BuildCompressionTable(const PStringArray& targets, const Orvo::Options& options)
{
    CompressionTable t;
    if (Has(targets, "ios") || Has(targets, "pvrtc"))
    {
        t.entry[0] = {23, false};
        t.entry[1] = {24, true};
        t.entry[2] = {24, true};
        return t;
    }
    if (Has(targets, "etc1"))
    {
        t.entry[0] = {28, false};
        return t;
    }
    if (!Has(targets, "dxtc") && !Has(targets, "atc")) return t;
    const bool atc = Has(targets, "atc");
    Orvo::Options copy = options;
    copy.SetSeparators("Compression", ",");
    size_t position = 0;
    Orvo::String item;
    for (int i = 0; i < 3 && copy.GetNext("Compression", position, item); ++i)
    {
        const std::string value = Lower(item.View());
        if (value == "auto" && i == 0)
        {
            t.entry[0] = {atc ? 25u : 10u, false};
            t.entry[1] = {atc ? 26u : 10u, true};
            t.entry[2] = {atc ? 27u : 12u, true};
            break;
        }
        if (value == "dxt1")
            t.entry[i] = {atc ? 25u : 10u, false};
        else if (value == "dxt1a")
            t.entry[i] = {atc ? 26u : 10u, true};
        else if (value == "dxt3")
            t.entry[i] = {atc ? 26u : 11u, true};
        else if (value == "dxt5")
            t.entry[i] = {atc ? 27u : 12u, true};
        else if (value == "none")
            t.entry[i] = {1, true};
    }
    return t;
}

TextureSizeLimits TargetSizeLimits(const PStringArray& targets)
{
    uint32_t side = 2048;
    if (Has(targets, "android") && Has(targets, "dxtc"))
        side = 512;
    else if (Has(targets, "ios") || Has(targets, "android"))
        side = 256;
    return {side, side};
}

void ApplyAndroidLimits(const PStringArray& targets, const Orvo::ConfigData* texture, TextureSizeLimits& limits)
{
    if (!Has(targets, "android") || texture == nullptr) return;
    const char* bias = nullptr;
    const char* size = nullptr;
    if (Has(targets, "qkbl"))
    {
        bias = "AndroidQKBLMaxTextureBias";
        size = "AndroidQKBLMaxTextureSize";
    }
    else if (Has(targets, "velmar"))
    {
        bias = "AndroidVelmarMaxTextureBias";
        size = "AndroidVelmarMaxTextureSize";
    }
    else if (Has(targets, "pilot"))
    {
        bias = "AndroidPilotMaxTextureBias";
        size = "AndroidPilotMaxTextureSize";
    }
    if (bias == nullptr) return;
    long long b = 0;
    if (ReadInteger(texture->Find(bias), b))
    {
        // Shifting a 32-bit limit by 32 or more is undefined, and a large negative bias would bring the
        // limit to 0: the shift is bounded and the result kept within 1..16384.
        auto shift = [b](uint32_t v) {
            const int s = int(std::clamp<long long>(b, -31, 31));
            const uint64_t r = s >= 0 ? uint64_t(v) << s : uint64_t(v) >> -s;
            return uint32_t(std::clamp<uint64_t>(r, 1, kLimitCeiling));
        };
        limits.maxWidth = shift(limits.maxWidth);
        limits.maxHeight = shift(limits.maxHeight);
    }
    long long s = 0;
    if (ReadInteger(texture->Find(size), s) && s > 0)
    {
        const uint32_t cap = uint32_t(std::min<long long>(s, kLimitCeiling));
        limits.maxWidth = std::min(limits.maxWidth, cap);
        limits.maxHeight = std::min(limits.maxHeight, cap);
    }
}

void FitTextureSize(const PStringArray& targets, uint32_t compressionKind, const TextureSizeLimits& limits,
                    uint32_t& width, uint32_t& height)
{
    if (width == 0 || height == 0) return;
    const uint32_t maxWidth = std::max(limits.maxWidth, 1u), maxHeight = std::max(limits.maxHeight, 1u);
    if ((Has(targets, "ios") || Has(targets, "pvrtc")) && compressionKind != 0)
    {
        // PVRTC1 textures are squares whose side is a power of two. Halving the larger side squares a
        // picture whose sides differ by a power of two (2048 x 1024 gives 1024 x 1024). Any other picture
        // would be halved on both sides down to nearly nothing (2048 x 1536 to 1 x 1, 2560 x 1440 to 5 x 5):
        // it becomes the square of the largest power of two not above its smaller side instead.
        const uint32_t smaller = std::min(width, height);
        uint32_t larger = std::max(width, height);
        while (larger > smaller) larger /= 2;
        uint32_t side = larger == smaller ? smaller : std::bit_floor(smaller);
        // A side that is no power of two (300 x 300, or 600 x 300 halved) is brought down to one, within the
        // limits too, which need not be powers of two themselves. A side below 8 leaves the texture
        // uncompressed whatever its size, so it stays as it is.
        side = std::min({side, maxWidth, maxHeight});
        if (side >= kSmallestPvrtcSide) side = std::bit_floor(side);
        width = height = side;
    }
    if (width > maxWidth)
    {
        height = std::max(1u, uint32_t(double(height) / double(width) * maxWidth));
        width = maxWidth;
    }
    if (height > maxHeight)
    {
        width = std::max(1u, uint32_t(double(width) / double(height) * maxHeight));
        height = maxHeight;
    }
}

TextureFormatPick ChooseTextureFormat(TextureFormatInputs& in)
{
    TextureFormatPick result{1, true};
    if (in.options == nullptr || in.targets == nullptr || in.alphaHint == kAlphaHintNone) return result;
    const PStringArray& targets = *in.targets;
    TextureFormatPick tableChoice{1, false};
    if (in.options->Has("Compression"))
    {
        if (in.normalMapHint && in.alphaHint == kAlphaHintMask) in.alphaHint = kAlphaHintFull;
        const CompressionTable table = BuildCompressionTable(targets, *in.options);
        const int index = in.alphaHint == kAlphaHintOpaque ? 0 : in.alphaHint == kAlphaHintMask ? 1 : 2;
        result = table.entry[index];
        tableChoice = result;
    }
    const uint32_t minimum =
        (Has(targets, "ios") || Has(targets, "pvrtc") || Has(targets, "etc1")) ? kSmallestPvrtcSide : 64;
    const uint32_t larger = std::max(in.width, in.height), smaller = std::min(in.width, in.height);
    const bool hint0 = in.alphaHint == kAlphaHintOpaque;
    uint32_t kind = in.compressionKind;
    bool keep = false;
    if (larger < minimum || smaller < 8)
        kind = 0;
    else if (kind > 3)
        keep = true;
    if (!keep)
    {
        switch (kind)
        {
        case 0: result = hint0 ? TextureFormatPick{3, false} : TextureFormatPick{1, true}; break;
        case 1:
            if (Has(targets, "atc"))
                result = hint0 ? TextureFormatPick{25, false} : TextureFormatPick{26, true};
            else if (Has(targets, "dxtc"))
                result = {10, !hint0};
            else if (Has(targets, "etc1"))
                result = hint0 ? TextureFormatPick{28, false} : TextureFormatPick{1, true};
            break;
        case 2:
        case 3:
            if (Has(targets, "atc"))
                result.format = kind == 2 ? 26 : 27;
            else if (Has(targets, "dxtc"))
                result.format = kind == 2 ? 11 : 12;
            else if (Has(targets, "etc1"))
                result.format = 1;
            result.alpha = true;
            break;
        default: break;
        }
    }
    if (in.forceOptions) result = tableChoice;
    if (in.width % 4 != 0 || in.height % 4 != 0)
        return result.alpha ? TextureFormatPick{1, true} : TextureFormatPick{3, false};
    return result;
}
