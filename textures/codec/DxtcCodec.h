#pragma once
// The DXTC family: parameters and per-block operations shared by DXT1/3/5, the swizzled DXT5 forms
// and ATI1N/ATI2N, plus the member codecs themselves.
#include "textures/codec/DxtColorBlock.h"
#include "textures/codec/TextureCodec.h"

class DxtcCodec : public BlockCodec4x4
{
public:
    explicit DxtcCodec(uint32_t codecType);
    bool SetParameter(const char* name, float value) override;
    bool SetParameter(const char* name, int32_t value) override;
    bool GetParameter(const char* name, float* out) override;
    bool GetParameter(const char* name, int32_t* out) override;

    // Per-block operations. Byte texels are 0xAARRGGBB words, float texels R, G, B, A in 0..1.
    void CompressDxt5BlockB(const uint32_t texels[16], const float* weights, uint8_t block[16]) const;
    void CompressDxt5BlockF(const float texels[64], const float* weights, uint8_t block[16]) const;
    void CompressDxt3BlockB(const uint32_t texels[16], const float* weights, uint8_t block[16]) const;
    void CompressDxt3BlockF(const float texels[64], const float* weights, uint8_t block[16]) const;
    void CompressBlockFast(const uint32_t texels[16], uint8_t block[16]) const;
    void CompressBlockFastSSE2(const uint32_t texels[16], uint8_t block[16]) const;
    void CompressExplicitBlockFast(const uint32_t texels[16], uint8_t block[16]) const;
    void CompressExplicitBlockFastSSE2(const uint32_t texels[16], uint8_t block[16]) const;
    static void DecompressDxt5BlockB(const uint8_t block[16], uint32_t texels[16]);
    static void DecompressDxt5BlockF(const uint8_t block[16], float texels[64]);
    static void DecompressDxt3BlockB(const uint8_t block[16], uint32_t texels[16]);
    static void DecompressDxt3BlockF(const uint8_t block[16], float texels[64]);

protected:
    // The block operations of a 16-byte format (alpha block, then colour block) at each speed.
    struct AlphaColourOps
    {
        void (*fastAlpha)(const uint8_t alpha[16], uint8_t block[8]);  // the alpha half of fastSSE2
        void (DxtcCodec::*fast)(const uint32_t texels[16], uint8_t block[16]) const;
        void (DxtcCodec::*fastSSE2)(const uint32_t texels[16], uint8_t block[16]) const;
        void (DxtcCodec::*bytes)(const uint32_t texels[16], const float* weights, uint8_t block[16]) const;
        void (DxtcCodec::*floats)(const float texels[64], const float* weights, uint8_t block[16]) const;
    };
    // The compression loop of DXT3, DXT5 and its swizzled forms: blocks read as bytes (always on the
    // fast paths) by readBytes(buffer, x, y, texels) or as floats by readFloats, then encoded by ops.
    template <typename ReadBytes, typename ReadFloats>
    uint32_t CompressAlphaColourBlocks(CodecBuffer& source, CodecBuffer& destination, CodecProgressCallback callback,
                                       uint32_t user1, uint32_t user2, const AlphaColourOps& ops, ReadBytes readBytes,
                                       ReadFloats readFloats);

    // The compression loop of ATI1N (one channel) and ATI2N (two): one interpolated block per channel,
    // channel 0 at byte firstOffset of the block, channel 1 in the other half.
    uint32_t CompressChannelBlocks(CodecBuffer& source, CodecBuffer& destination, CodecProgressCallback callback,
                                   uint32_t user1, uint32_t user2, int channels, int firstOffset);

    DxtColorSettings ColorSettings() const;
    // The channel weights for one block (null when weighting is off); may update blockWeights_.
    const float* BlockWeightsB(const uint32_t texels[16]);
    const float* BlockWeightsF(const float texels[64]);
    // Whether a pixel buffer is handled as bytes rather than floats.
    bool BytePath(const CodecBuffer& pixels) const;
    // Which loop Compress takes: 0 quality, 1 fast (SSE), 2 fast SSE2.
    int FastMode() const;

    bool useChannelWeighting_ = false;
    bool useAdaptiveWeighting_ = false;
    bool forceFloatPath_ = false;
    bool use3DRefinement_ = false;
    uint8_t refinementSteps_ = 1;
    int32_t compressionSpeed_ = 0;
    float baseWeights_[3] = {0.3086f, 0.6094f, 0.082f};
    float blockWeights_[3] = {0.3086f, 0.6094f, 0.082f};

private:
    const float* AdaptWeights(const float mean[3]);
};

class Dxt1Codec : public DxtcCodec
{
public:
    Dxt1Codec() : DxtcCodec(2) {}
    bool SetParameter(const char* name, float value) override { return DxtcCodec::SetParameter(name, value); }
    bool SetParameter(const char* name, int32_t value) override;
    bool GetParameter(const char* name, float* out) override { return DxtcCodec::GetParameter(name, out); }
    bool GetParameter(const char* name, int32_t* out) override;
    CodecBuffer* CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data) override;
    uint32_t Compress(CodecBuffer& source, CodecBuffer& destination, CodecProgressCallback callback, uint32_t user1,
                      uint32_t user2) override;
    uint32_t Decompress(CodecBuffer& source, CodecBuffer& destination) override;

private:
    bool useAlpha_ = false;
    uint8_t alphaThreshold_ = 128;
};

class Dxt3Codec : public DxtcCodec
{
public:
    Dxt3Codec() : DxtcCodec(3) {}
    CodecBuffer* CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data) override;
    uint32_t Compress(CodecBuffer& source, CodecBuffer& destination, CodecProgressCallback callback, uint32_t user1,
                      uint32_t user2) override;
    uint32_t Decompress(CodecBuffer& source, CodecBuffer& destination) override;
};

// DXT5 and its channel-swizzled forms (codec types 4..10). The swizzle names, for each channel of the
// DXT5 block (R, G, B, A), the source channel it carries (-1 for none).
class DxtcDxt5Codec : public DxtcCodec
{
public:
    explicit DxtcDxt5Codec(uint32_t codecType);
    bool SetParameter(const char* name, float value) override;
    bool SetParameter(const char* name, int32_t value) override { return DxtcCodec::SetParameter(name, value); }
    bool GetParameter(const char* name, float* out) override;
    bool GetParameter(const char* name, int32_t* out) override { return DxtcCodec::GetParameter(name, out); }
    CodecBuffer* CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data) override;
    uint32_t Compress(CodecBuffer& source, CodecBuffer& destination, CodecProgressCallback callback, uint32_t user1,
                      uint32_t user2) override;
    uint32_t Decompress(CodecBuffer& source, CodecBuffer& destination) override;

private:
    bool ReadSwizzledBytes(CodecBuffer& buffer, uint32_t x, uint32_t y, uint32_t texels[16]) const;
    bool ReadSwizzledFloat(CodecBuffer& buffer, uint32_t x, uint32_t y, float texels[64]) const;
    void WriteUnswizzledBytes(CodecBuffer& buffer, uint32_t x, uint32_t y, const uint32_t texels[16]) const;
    void WriteUnswizzledFloat(CodecBuffer& buffer, uint32_t x, uint32_t y, const float texels[64]) const;

    int swizzle_[4];
    bool ownWeights_;  // types 7 and 8 store the weights unsquared, in the slots of the moved channels
};

class Dxt5Codec : public DxtcDxt5Codec
{
public:
    Dxt5Codec() : DxtcDxt5Codec(4) {}
};

class Ati1nCodec : public DxtcCodec
{
public:
    Ati1nCodec() : DxtcCodec(11) {}
    CodecBuffer* CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data) override;
    uint32_t Compress(CodecBuffer& source, CodecBuffer& destination, CodecProgressCallback callback, uint32_t user1,
                      uint32_t user2) override;
    uint32_t Decompress(CodecBuffer& source, CodecBuffer& destination) override;
};

// Two channels in two interpolated blocks: type 12 stores channel 0 second, type 13 first.
class Ati2nCodec : public DxtcCodec
{
public:
    explicit Ati2nCodec(uint32_t codecType) : DxtcCodec(codecType) {}
    CodecBuffer* CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data) override;
    uint32_t Compress(CodecBuffer& source, CodecBuffer& destination, CodecProgressCallback callback, uint32_t user1,
                      uint32_t user2) override;
    uint32_t Decompress(CodecBuffer& source, CodecBuffer& destination) override;
    static uint8_t ReconstructZByte(uint8_t x, uint8_t y);
    static float ReconstructZFloat(float x, float y);
};

// Two channels carried in a DXT5 block: red in the alpha block, green in the colour block.
class Ati2nDxt5Codec : public Ati2nCodec
{
public:
    Ati2nDxt5Codec() : Ati2nCodec(14) {}
    uint32_t Compress(CodecBuffer& source, CodecBuffer& destination, CodecProgressCallback callback, uint32_t user1,
                      uint32_t user2) override;
    uint32_t Decompress(CodecBuffer& source, CodecBuffer& destination) override;
};
