#include "textures/codec/PixelBuffer.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr PixelLayout kLayouts[17] = {
    {1, 4, 8, false, 4, ValueForm::U8},      {2, 3, 8, false, 3, ValueForm::U8},
    {3, 2, 8, false, 2, ValueForm::U8},      {4, 1, 8, false, 1, ValueForm::U8},
    {5, 4, 10, false, 4, ValueForm::U16},    {6, 4, 16, false, 8, ValueForm::U16},
    {7, 2, 16, false, 4, ValueForm::U16},    {8, 1, 16, false, 2, ValueForm::U16},
    {9, 4, 32, false, 16, ValueForm::U32},   {10, 2, 32, false, 8, ValueForm::U32},
    {11, 1, 32, false, 4, ValueForm::U32},   {12, 4, 16, true, 8, ValueForm::Half},
    {13, 2, 16, true, 4, ValueForm::Half},   {14, 1, 16, true, 2, ValueForm::Half},
    {15, 4, 32, true, 16, ValueForm::Float}, {16, 2, 32, true, 8, ValueForm::Float},
    {17, 1, 32, true, 4, ValueForm::Float},
};

constexpr uint16_t kHalfOne = 0x3C00;
constexpr uint32_t kFloatOne = 0x3F800000;

uint16_t Load16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

const PixelLayout* FindPixelLayout(uint32_t bufferType)
{
    return bufferType >= 1 && bufferType <= 17 ? &kLayouts[bufferType - 1] : nullptr;
}

PixelBuffer::PixelBuffer(const PixelLayout& layout, uint32_t width, uint32_t height, uint32_t pitch, void* data)
    : CodecBuffer(width, height, pitch, data), layout_(layout), direct_(layout.channels == 4 && layout.bufferType != 5)
{
    uint64_t row = uint64_t(width) * layout.bytesPerPixel;
    if (layout.bufferType == 2 && pitch == 0) row = (row + 3) / 4 * 4;  // same rule as the size check
    if (row > 0xFFFFFFFFull)
    {
        data_ = nullptr;  // cannot be addressed: the factory reports the failure
        externalData_ = true;
        return;
    }
    if (pitch_ < row) pitch_ = uint32_t(row);
    if (data_ == nullptr)
    {
        const uint64_t bytes = uint64_t(pitch_) * height_;
        data_ = bytes == 0 || bytes > (uint64_t(1) << 40) ? nullptr : static_cast<uint8_t*>(std::malloc(bytes));
    }
}

void PixelBuffer::Unpack(const uint8_t* p, uint8_t* values) const
{
    switch (layout_.bufferType)
    {
    case 2: values[0] = p[0], values[1] = p[1], values[2] = p[2], values[3] = 255; break;
    case 3: values[0] = 0, values[1] = p[0], values[2] = p[1], values[3] = 255; break;
    case 4: values[0] = 0, values[1] = 0, values[2] = p[0], values[3] = 255; break;
    case 5:
    {
        const uint32_t word = Load32(p);
        uint16_t v[4];
        for (int c = 0; c < 3; ++c)
        {
            const uint32_t ten = (word >> (20 - 10 * c)) & 0x3FF;
            v[c] = uint16_t((ten << 6) | (ten >> 4));  // bit replication: narrowing gives ten back
        }
        v[3] = uint16_t((word >> 30) * 0x5555);
        std::memcpy(values, v, 8);
        break;
    }
    case 7:
    case 8:
    case 13:
    case 14:
    {
        uint16_t v[4] = {Load16(p), layout_.channels > 1 ? Load16(p + 2) : uint16_t(0), 0,
                         uint16_t(layout_.isFloat ? kHalfOne : 0xFFFF)};
        std::memcpy(values, v, 8);
        break;
    }
    case 10:
    case 11:
    case 16:
    case 17:
    {
        uint32_t v[4] = {Load32(p), layout_.channels > 1 ? Load32(p + 4) : 0u, 0,
                         layout_.isFloat ? kFloatOne : 0xFFFFFFFFu};
        std::memcpy(values, v, 16);
        break;
    }
    default: std::memcpy(values, p, layout_.bytesPerPixel); break;
    }
}

void PixelBuffer::Pack(const uint8_t* values, uint8_t* p) const
{
    switch (layout_.bufferType)
    {
    case 2: p[0] = values[0], p[1] = values[1], p[2] = values[2]; break;
    case 3: p[0] = values[1], p[1] = values[2]; break;
    case 4: p[0] = values[2]; break;
    case 5:
    {
        uint16_t v[4];
        std::memcpy(v, values, 8);
        const uint32_t word =
            uint32_t(v[0] >> 6) << 20 | uint32_t(v[1] >> 6) << 10 | uint32_t(v[2] >> 6) | uint32_t(v[3] >> 14) << 30;
        std::memcpy(p, &word, 4);
        break;
    }
    case 7:
    case 8:
    case 13:
    case 14: std::memcpy(p, values, 2 * layout_.channels); break;
    case 10:
    case 11:
    case 16:
    case 17: std::memcpy(p, values, 4 * layout_.channels); break;
    default: std::memcpy(p, values, layout_.bytesPerPixel); break;
    }
}

bool PixelBuffer::ReadNative(uint32_t x, uint32_t y, uint32_t w, uint32_t h, void* out)
{
    if (x >= width_ || y >= height_ || data_ == nullptr) return false;
    const uint32_t k = w < width_ - x ? w : width_ - x;    // inside columns
    const uint32_t m = h < height_ - y ? h : height_ - y;  // inside rows
    const size_t bpp = layout_.bytesPerPixel;
    const size_t pixelValues = 4 * ValueFormBytes(layout_.native);
    auto* o = static_cast<uint8_t*>(out);
    for (uint32_t r = 0; r < m; ++r)
    {
        const uint8_t* row = data_ + size_t(y + r) * pitch_ + size_t(x) * bpp;
        uint8_t* dst = o + size_t(r) * w * pixelValues;
        if (direct_)
        {
            std::memcpy(dst, row, k * bpp);
        }
        else
        {
            for (uint32_t c = 0; c < k; ++c) Unpack(row + c * bpp, dst + c * pixelValues);
        }
        for (uint32_t c = k; c < w; ++c) std::memcpy(dst + c * pixelValues, dst + (c % k) * pixelValues, pixelValues);
    }
    for (uint32_t r = m; r < h; ++r)
        std::memcpy(o + size_t(r) * w * pixelValues, o + size_t(r % m) * w * pixelValues, w * pixelValues);
    return true;
}

bool PixelBuffer::WriteNative(uint32_t x, uint32_t y, uint32_t w, uint32_t h, const void* in)
{
    if (x >= width_ || y >= height_ || data_ == nullptr) return false;
    const uint32_t k = w < width_ - x ? w : width_ - x;
    const uint32_t m = h < height_ - y ? h : height_ - y;
    const size_t bpp = layout_.bytesPerPixel;
    const size_t pixelValues = 4 * ValueFormBytes(layout_.native);
    const auto* src = static_cast<const uint8_t*>(in);
    for (uint32_t r = 0; r < m; ++r)
    {
        uint8_t* row = data_ + size_t(y + r) * pitch_ + size_t(x) * bpp;
        const uint8_t* s = src + size_t(r) * w * pixelValues;
        if (direct_)
        {
            std::memcpy(row, s, k * bpp);
        }
        else
        {
            for (uint32_t c = 0; c < k; ++c) Pack(s + c * pixelValues, row + c * bpp);
        }
    }
    return true;
}
