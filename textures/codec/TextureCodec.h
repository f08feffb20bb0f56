#pragma once
// Codec objects: the abstract base, the 4x4 block-codec base and the factory by codec type.
#include <cstdint>
#include <cstring>

#include "textures/codec/CodecBuffer.h"
#include "textures/codec/CodecTexture.h"

// Answers of Compress and Decompress.
enum CodecOpResult : uint32_t
{
    CODEC_OP_DONE = 0,
    CODEC_OP_FAILED = 1,
    CODEC_OP_STOPPED = 2
};

class TextureCodec
{
public:
    explicit TextureCodec(uint32_t codecType) : codecType_(codecType) {}
    virtual ~TextureCodec() = default;
    TextureCodec(const TextureCodec&) = delete;
    TextureCodec& operator=(const TextureCodec&) = delete;

    // Parameters by exact (case-sensitive) name; false for a name no class of the codec knows.
    virtual bool SetParameter(const char* name, float value);
    virtual bool SetParameter(const char* name, int32_t value);
    virtual bool GetParameter(const char* name, float* out);
    virtual bool GetParameter(const char* name, int32_t* out);
    uint32_t GetType() const { return codecType_; }
    virtual uint32_t GetBlockDimension() const { return 1; }
    // The caller owns the buffer.
    virtual CodecBuffer* CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data) = 0;
    virtual uint32_t Compress(CodecBuffer& source, CodecBuffer& destination, CodecProgressCallback callback,
                              uint32_t user1, uint32_t user2) = 0;
    virtual uint32_t Decompress(CodecBuffer& source, CodecBuffer& destination) = 0;

private:
    const uint32_t codecType_;
};

bool HasSSE();
bool HasSSE2();

// Null for a type outside 2..18 or when memory runs out; the caller deletes the codec.
TextureCodec* CreateTextureCodec(uint32_t codecType);

class BlockCodec4x4 : public TextureCodec
{
public:
    explicit BlockCodec4x4(uint32_t codecType);
    bool SetParameter(const char* name, float value) override;
    bool SetParameter(const char* name, int32_t value) override;
    bool GetParameter(const char* name, float* out) override;
    bool GetParameter(const char* name, int32_t* out) override;
    uint32_t GetBlockDimension() const override { return 4; }
    CodecBuffer* CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data) override;

protected:
    bool useSSE_;
    bool useSSE2_;
};

// The block before the current one in a compression loop, with what it was encoded to. Every block encoder
// of the library depends on the block's texels alone (and the codec's settings, fixed during a loop), so a
// block like the one before it (common in flat areas of real textures) takes that block's bytes unencoded.
template <size_t InBytes, size_t OutBytes>
class RepeatedBlock
{
public:
    // Copies the previous block's bytes to out when `in` matches the previous block's texels.
    bool Copy(const void* in, void* out) const
    {
        if (!valid_ || std::memcmp(in, in_, InBytes) != 0) return false;
        std::memcpy(out, out_, OutBytes);
        return true;
    }
    void Keep(const void* in, const void* out)
    {
        std::memcpy(in_, in, InBytes);
        std::memcpy(out_, out, OutBytes);
        valid_ = true;
    }

private:
    alignas(16) uint8_t in_[InBytes];
    uint8_t out_[OutBytes];
    bool valid_ = false;
};

// The loop every block codec runs: the size check, blocks row by row, progress after each block row.
// visit(x, y) handles the block at pixel (x, y).
template <typename Visit>
uint32_t RunBlockLoop(const CodecBuffer& source, const CodecBuffer& destination, CodecProgressCallback callback,
                      uint32_t user1, uint32_t user2, Visit&& visit)
{
    if (source.Width() != destination.Width() || source.Height() != destination.Height()) return CODEC_OP_FAILED;
    const uint32_t bx = (source.Width() + 3) / 4, by = (source.Height() + 3) / 4;
    const uint64_t total = uint64_t(bx) * by;
    for (uint32_t r = 0; r < by; ++r)
    {
        for (uint32_t c = 0; c < bx; ++c) visit(4 * c, 4 * r);
        if (callback != nullptr && callback(float(100.0 * double(uint64_t(r) * bx) / double(total)), user1, user2) != 0)
            return CODEC_OP_STOPPED;
    }
    return CODEC_OP_DONE;
}

// The same loop a block row at a time: visitRow(y, across) handles the across blocks of the row at pixel
// row y. Progress as RunBlockLoop.
template <typename VisitRow>
uint32_t RunBlockRowLoop(const CodecBuffer& source, const CodecBuffer& destination, CodecProgressCallback callback,
                         uint32_t user1, uint32_t user2, VisitRow&& visitRow)
{
    if (source.Width() != destination.Width() || source.Height() != destination.Height()) return CODEC_OP_FAILED;
    const uint32_t bx = (source.Width() + 3) / 4, by = (source.Height() + 3) / 4;
    const uint64_t total = uint64_t(bx) * by;
    for (uint32_t r = 0; r < by; ++r)
    {
        visitRow(4 * r, bx);
        if (callback != nullptr && callback(float(100.0 * double(uint64_t(r) * bx) / double(total)), user1, user2) != 0)
            return CODEC_OP_STOPPED;
    }
    return CODEC_OP_DONE;
}
