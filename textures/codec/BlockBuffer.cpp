#include "textures/codec/BlockBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "textures/codec/PixelBuffer.h"

BlockBuffer::BlockBuffer(uint32_t bufferType, uint32_t width, uint32_t height, uint32_t pitch, void* data)
    : CodecBuffer(width, height, pitch, data), bufferType_(bufferType)
{
    const uint32_t sizeIndex = bufferType >= 23 ? bufferType - 23 : bufferType - 18;
    bitsPerPixel_ = 2u << sizeIndex;
    blockWidth_ = blockHeight_ = bufferType >= 23 ? 8 : 4;
    blockBytes_ = bitsPerPixel_ * blockWidth_ * blockHeight_ / 8;
    const uint64_t rowBytes = uint64_t(blockBytes_) * ((uint64_t(width) + blockWidth_ - 1) / blockWidth_);
    const uint64_t total = rowBytes * ((uint64_t(height) + blockHeight_ - 1) / blockHeight_);
    if (rowBytes > 0xFFFFFFFFull || total > 0xFFFFFFFFull)
    {
        data_ = nullptr;  // cannot be addressed: the factory reports the failure
        externalData_ = true;
        return;
    }
    pitch_ = uint32_t(rowBytes);
    if (data_ == nullptr) data_ = total == 0 ? nullptr : static_cast<uint8_t*>(std::malloc(total));
}

bool BlockBuffer::ReadCompressedBlock(uint32_t x, uint32_t y, void* out, uint32_t dwordCount)
{
    if (out == nullptr || data_ == nullptr || dwordCount != blockBytes_ / 4 || x >= width_ || y >= height_)
        return false;
    std::memcpy(out, data_ + size_t(y / blockHeight_) * pitch_ + size_t(x / blockWidth_) * blockBytes_,
                size_t(dwordCount) * 4);
    return true;
}

bool BlockBuffer::WriteCompressedBlock(uint32_t x, uint32_t y, const void* in, uint32_t dwordCount)
{
    if (in == nullptr || data_ == nullptr || dwordCount != blockBytes_ / 4 || x >= width_ || y >= height_) return false;
    std::memcpy(data_ + size_t(y / blockHeight_) * pitch_ + size_t(x / blockWidth_) * blockBytes_, in,
                size_t(dwordCount) * 4);
    return true;
}

CodecBuffer* CreateCodecBuffer(uint32_t bufferType, uint32_t width, uint32_t height, uint32_t pitch, void* data)
{
    if (const PixelLayout* layout = FindPixelLayout(bufferType))
    {
        auto* b = new (std::nothrow) PixelBuffer(*layout, width, height, pitch, data);
        if (b != nullptr && !b->Valid())
        {
            delete b;
            b = nullptr;
        }
        return b;
    }
    if (bufferType < 18 || bufferType > 26 || bufferType == 22) return nullptr;
    auto* b = new (std::nothrow) BlockBuffer(bufferType, width, height, pitch, data);
    if (b != nullptr && !b->Valid())
    {
        delete b;
        b = nullptr;
    }
    return b;
}

uint32_t FormatToBufferType(int32_t format)
{
    static constexpr uint32_t kTypes[15] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 13, 14, 15, 16, 17};
    return format >= 1 && format <= 14 ? kTypes[format] : 0;
}
