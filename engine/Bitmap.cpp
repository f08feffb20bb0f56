#include "engine/Bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace Orvo {

namespace {

bool SizeInBounds(uint32_t width, uint32_t height)
{
    return width >= 1 && height >= 1 && width <= Bitmap::kMaxSide && height <= Bitmap::kMaxSide &&
           uint64_t(width) * height <= Bitmap::kMaxPixels;
}

// One target sample along an axis: the source samples it reads and their weights (summing to 1).
struct Tap
{
    uint32_t first = 0;
    std::vector<float> weights;
};

// Box taps when the axis shrinks (or keeps its size): each target sample averages the source samples it
// covers, the ones cut by its edges weighted by the covered part.
std::vector<Tap> BoxTaps(uint32_t from, uint32_t to)
{
    std::vector<Tap> taps(to);
    const double step = double(from) / to;
    for (uint32_t i = 0; i < to; ++i)
    {
        const double lo = i * step;
        const double hi = std::min(double(from), (i + 1) * step);
        const uint32_t first = std::min(from - 1, uint32_t(lo));
        const uint32_t last = std::min(from - 1, uint32_t(std::ceil(hi)) - 1);
        Tap& t = taps[i];
        t.first = first;
        double total = 0.0;
        for (uint32_t s = first; s <= last; ++s)
        {
            const double w = std::min(hi, double(s + 1)) - std::max(lo, double(s));
            t.weights.push_back(float(w > 0.0 ? w : 0.0));
            total += w > 0.0 ? w : 0.0;
        }
        for (float& w : t.weights) w = float(w / total);
    }
    return taps;
}

// Bilinear taps: target sample centres mapped onto the source, the two neighbours weighted by distance,
// clamped at the edges.
std::vector<Tap> LinearTaps(uint32_t from, uint32_t to)
{
    std::vector<Tap> taps(to);
    for (uint32_t i = 0; i < to; ++i)
    {
        double x = (i + 0.5) * double(from) / to - 0.5;
        x = std::clamp(x, 0.0, double(from - 1));
        const uint32_t x0 = uint32_t(x);
        const uint32_t x1 = std::min(from - 1, x0 + 1);
        const float f = float(x - x0);
        Tap& t = taps[i];
        t.first = x0;
        if (x1 == x0)
            t.weights = {1.0f};
        else
            t.weights = {1.0f - f, f};
    }
    return taps;
}

std::unique_ptr<Bitmap> Resample(const Bitmap& src, uint32_t width, uint32_t height, bool box)
{
    const uint32_t bpp = Bitmap::BytesPerPixel(src.GetFormat());
    if (bpp == 0 || !src.IsValid() || !SizeInBounds(width, height)) return nullptr;
    auto out = std::make_unique<Bitmap>(width, height, src.GetFormat());
    if (!out->IsValid()) return nullptr;
    const uint32_t sw = src.GetWidth(), sh = src.GetHeight();
    const std::vector<Tap> across = box && width <= sw ? BoxTaps(sw, width) : LinearTaps(sw, width);
    const std::vector<Tap> down = box && height <= sh ? BoxTaps(sh, height) : LinearTaps(sh, height);

    // Horizontal pass into floats, then the vertical pass into bytes.
    std::vector<float> mid(size_t(width) * sh * bpp);
    for (uint32_t y = 0; y < sh; ++y)
    {
        const uint8_t* row = src.Row(y);
        float* m = &mid[size_t(y) * width * bpp];
        for (uint32_t x = 0; x < width; ++x)
        {
            const Tap& t = across[x];
            for (uint32_t c = 0; c < bpp; ++c)
            {
                float sum = 0.0f;
                for (size_t k = 0; k < t.weights.size(); ++k) sum += t.weights[k] * row[(t.first + k) * bpp + c];
                m[x * bpp + c] = sum;
            }
        }
    }
    for (uint32_t y = 0; y < height; ++y)
    {
        const Tap& t = down[y];
        uint8_t* row = out->Row(y);
        for (uint32_t i = 0; i < width * bpp; ++i)
        {
            float sum = 0.0f;
            for (size_t k = 0; k < t.weights.size(); ++k) sum += t.weights[k] * mid[(t.first + k) * width * bpp + i];
            row[i] = uint8_t(std::clamp(std::lround(sum), 0L, 255L));
        }
    }
    return out;
}

}  // namespace

Bitmap::Bitmap(uint32_t width, uint32_t height, uint32_t format) { Init(width, height, 0, format, nullptr, 0); }

Bitmap::~Bitmap() { Clear(); }

uint32_t Bitmap::BytesPerPixel(uint32_t format)
{
    switch (format)
    {
    case FormatGrey8: return 1;
    case FormatRGB24: return 3;
    case FormatARGB32:
    case FormatXRGB32: return 4;
    default: return 0;
    }
}

void Bitmap::Clear()
{
    if (owned_) std::free(data_);
    data_ = nullptr;
    dataSize_ = 0;
    width_ = height_ = pitch_ = format_ = 0;
    owned_ = false;
}

bool Bitmap::Init(uint32_t width, uint32_t height, uint32_t pitch, uint32_t format, void* data, size_t dataSize)
{
    Clear();
    if (!SizeInBounds(width, height)) return false;
    const uint32_t bpp = BytesPerPixel(format);
    size_t need = 0;
    if (format == FormatRaw)
    {
        // Compressed blocks: the caller knows the size; a bound keeps a bad count from allocating wildly.
        if (dataSize == 0 || dataSize > kMaxPixels * 4) return false;
        pitch = 0;
        need = dataSize;
    }
    else if (bpp != 0)
    {
        const uint64_t packed = uint64_t(width) * bpp;
        if (pitch == 0) pitch = uint32_t(packed);
        if (pitch < packed) return false;
        need = size_t(pitch) * (height - 1) + packed;
    }
    else
    {
        return false;
    }
    if (data != nullptr)
    {
        if (dataSize < need) return false;
        data_ = static_cast<uint8_t*>(data);
        dataSize_ = dataSize;
        owned_ = false;
    }
    else
    {
        const size_t size = std::max(dataSize, format == FormatRaw ? need : size_t(pitch) * height);
        data_ = static_cast<uint8_t*>(std::calloc(size, 1));
        if (data_ == nullptr) return false;
        dataSize_ = size;
        owned_ = true;
    }
    width_ = width;
    height_ = height;
    pitch_ = pitch;
    format_ = format;
    return true;
}

void Bitmap::DetachAlias()
{
    if (data_ == nullptr || owned_) return;
    auto* copy = static_cast<uint8_t*>(std::malloc(dataSize_));
    if (copy == nullptr)
    {
        Clear();
        return;
    }
    std::memcpy(copy, data_, dataSize_);
    data_ = copy;
    owned_ = true;
}

bool Bitmap::CopyImage(const Bitmap& source, int x, int y)
{
    const uint32_t sb = BytesPerPixel(source.format_), db = BytesPerPixel(format_);
    if (sb == 0 || db == 0 || !source.IsValid() || !IsValid()) return false;
    const int64_t x0 = std::max<int64_t>(0, x), y0 = std::max<int64_t>(0, y);
    const int64_t x1 = std::min<int64_t>(width_, int64_t(x) + source.width_);
    const int64_t y1 = std::min<int64_t>(height_, int64_t(y) + source.height_);
    for (int64_t ty = y0; ty < y1; ++ty)
    {
        const uint8_t* s = source.Row(uint32_t(ty - y)) + (x0 - x) * sb;
        uint8_t* d = Row(uint32_t(ty)) + x0 * db;
        for (int64_t tx = x0; tx < x1; ++tx, s += sb, d += db)
        {
            if (db == 1)
            {
                // Rec. 601 luminance of blue, green and red, weights out of 256.
                d[0] = sb == 1 ? s[0] : uint8_t((29u * s[0] + 150u * s[1] + 77u * s[2] + 128u) >> 8);
                continue;
            }
            if (sb == 1)
            {
                d[0] = d[1] = d[2] = s[0];
                if (db == 4) d[3] = 0xFF;
                continue;
            }
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            if (db == 4) d[3] = (format_ == FormatARGB32 && source.format_ == FormatARGB32) ? s[3] : 0xFF;
        }
    }
    return true;
}

std::unique_ptr<Bitmap> Bitmap::Scale(uint32_t width, uint32_t height) const
{
    return Resample(*this, width, height, true);
}

std::unique_ptr<Bitmap> Bitmap::ScaleArbitrary(uint32_t width, uint32_t height) const
{
    return Resample(*this, width, height, false);
}

}  // namespace Orvo
