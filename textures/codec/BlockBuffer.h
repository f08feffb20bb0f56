#pragma once
// The compressed-block buffer: rows of fixed-size blocks, 4x4 (types 18..21) or 8x8 (23..26) texels.
#include "textures/codec/CodecBuffer.h"

class BlockBuffer : public CodecBuffer
{
public:
    // The pitch is always recomputed from the block size; without data the buffer allocates its own.
    BlockBuffer(uint32_t bufferType, uint32_t width, uint32_t height, uint32_t pitch, void* data);
    bool Valid() const { return data_ != nullptr; }

    uint32_t GetBufferType() const override { return bufferType_; }
    uint32_t GetBitsPerChannel() const override { return 0; }
    uint32_t GetChannelCount() const override { return 0; }
    bool IsFloat() const override { return false; }
    uint32_t BlockBytes() const { return blockBytes_; }

    bool ReadCompressedBlock(uint32_t x, uint32_t y, void* out, uint32_t dwordCount) override;
    bool WriteCompressedBlock(uint32_t x, uint32_t y, const void* in, uint32_t dwordCount) override;

private:
    uint32_t bufferType_;
    uint32_t blockBytes_;
    uint32_t blockWidth_;
    uint32_t blockHeight_;
    uint32_t bitsPerPixel_;
};
