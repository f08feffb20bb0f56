// The DXTC member codecs: the block loops of DXT1, DXT3, DXT5 and its swizzled forms, ATI1N, ATI2N.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "textures/codec/AlphaBlock.h"
#include "textures/codec/DxtcCodec.h"
#include "textures/codec/FastDxtBlock.h"

namespace {

bool ReadBytes(CodecBuffer& b, uint32_t x, uint32_t y, uint32_t t[16])
{
    return b.ReadBlock(ValueForm::U8, x, y, 4, 4, t);
}
bool ReadFloats(CodecBuffer& b, uint32_t x, uint32_t y, float t[64])
{
    return b.ReadBlock(ValueForm::Float, x, y, 4, 4, t);
}

uint32_t Channel(uint32_t texel, int c)
{  // c: 0 R, 1 G, 2 B, 3 A
    static constexpr int kShift[4] = {16, 8, 0, 24};
    return (texel >> kShift[c]) & 255;
}
uint32_t Texel(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return a << 24 | r << 16 | g << 8 | b; }

// The explicit alpha of the DXTC byte path (rounding 7 always).
void ExplicitAlphaAlways7(const uint8_t alpha[16], uint8_t block[8])
{
    CompressExplicitAlpha(alpha, ExplicitRounding::Always7, block);
}

// Blocks encoded together by the fast SSE2 colour encoder, whose forms take several blocks per vector.
constexpr uint32_t kFastBatch = 16;

// Blocks a read refuses stay zero rather than carrying stale data.
struct ByteBlock
{
    uint32_t t[16] = {};
};
struct FloatBlock
{
    float t[64] = {};
};

// Where decoded texels go: as they are, or through a member's own writes.
struct PlainWrite
{
    CodecBuffer& buffer;
    void operator()(uint32_t x, uint32_t y, const uint32_t t[16]) const
    {
        buffer.WriteBlock(ValueForm::U8, x, y, 4, 4, t);
    }
    void operator()(uint32_t x, uint32_t y, const float t[64]) const
    {
        buffer.WriteBlock(ValueForm::Float, x, y, 4, 4, t);
    }
};
template <typename... F>
struct Overload : F...
{
    using F::operator()...;
};
template <typename... F>
Overload(F...) -> Overload<F...>;  // clang 14 does not deduce an aggregate's arguments by itself

// The decompression loop of every member: each block (`words` 32-bit words) is decoded to byte or
// float texels, whichever form the destination takes, and written.
template <typename DecodeBytes, typename DecodeFloats, typename Write>
uint32_t DecodeBlocks(CodecBuffer& src, CodecBuffer& dst, bool bytes, uint32_t words, DecodeBytes decodeBytes,
                      DecodeFloats decodeFloats, Write write)
{
    return RunBlockLoop(src, dst, nullptr, 0, 0, [&](uint32_t x, uint32_t y) {
        uint8_t block[16] = {};
        src.ReadCompressedBlock(x, y, block, words);
        if (bytes)
        {
            uint32_t t[16];
            decodeBytes(block, t);
            write(x, y, t);
        }
        else
        {
            float t[64];
            decodeFloats(block, t);
            write(x, y, t);
        }
    });
}

}  // namespace

template <typename ReadBytesFn, typename ReadFloatsFn>
uint32_t DxtcCodec::CompressAlphaColourBlocks(CodecBuffer& src, CodecBuffer& dst, CodecProgressCallback cb, uint32_t u1,
                                              uint32_t u2, const AlphaColourOps& ops, ReadBytesFn readBytes,
                                              ReadFloatsFn readFloats)
{
    const int fast = FastMode();
    const bool bytes = fast != 0 || BytePath(src);
    if (fast == 2)
    {
        // Alpha block by block, the colours of up to kFastBatch blocks of a row at once.
        const SimdLevel level = CodecSimdLevel();
        RepeatedBlock<64, 16> previous;
        return RunBlockRowLoop(src, dst, cb, u1, u2, [&](uint32_t y, uint32_t across) {
            for (uint32_t first = 0; first < across; first += kFastBatch)
            {
                const uint32_t n = std::min(kFastBatch, across - first);
                ByteBlock b[kFastBatch];
                uint8_t block[kFastBatch][16];
                const uint32_t* texels[kFastBatch];
                uint8_t* colours[kFastBatch];
                bool repeats[kFastBatch];
                int encoded = 0;
                for (uint32_t i = 0; i < n; ++i)
                {
                    readBytes(src, 4 * (first + i), y, b[i].t);
                    // A block like the one before it is filled in once that one is encoded.
                    repeats[i] =
                        i > 0 ? std::memcmp(b[i].t, b[i - 1].t, sizeof b[i].t) == 0 : previous.Copy(b[i].t, block[i]);
                    if (repeats[i]) continue;
                    uint8_t alpha[16];
                    for (int k = 0; k < 16; ++k) alpha[k] = uint8_t(b[i].t[k] >> 24);
                    ops.fastAlpha(alpha, block[i]);
                    texels[encoded] = b[i].t;
                    colours[encoded++] = block[i] + 8;
                }
                FastColorSSE2Blocks(level, texels, encoded, colours);
                for (uint32_t i = 0; i < n; ++i)
                {
                    if (repeats[i] && i > 0) std::memcpy(block[i], block[i - 1], 16);
                    dst.WriteCompressedBlock(4 * (first + i), y, block[i], 4);
                }
                previous.Keep(b[n - 1].t, block[n - 1]);
            }
        });
    }
    RepeatedBlock<64, 16> previousBytes;
    RepeatedBlock<256, 16> previousFloats;
    return RunBlockLoop(src, dst, cb, u1, u2, [&](uint32_t x, uint32_t y) {
        uint8_t block[16];
        if (bytes)
        {
            ByteBlock b;
            readBytes(src, x, y, b.t);
            if (!previousBytes.Copy(b.t, block))
            {
                if (fast == 1)
                    (this->*ops.fast)(b.t, block);
                else
                    (this->*ops.bytes)(b.t, BlockWeightsB(b.t), block);
                previousBytes.Keep(b.t, block);
            }
        }
        else
        {
            FloatBlock b;
            readFloats(src, x, y, b.t);
            if (!previousFloats.Copy(b.t, block))
            {
                (this->*ops.floats)(b.t, BlockWeightsF(b.t), block);
                previousFloats.Keep(b.t, block);
            }
        }
        dst.WriteCompressedBlock(x, y, block, 4);
    });
}

uint32_t DxtcCodec::CompressChannelBlocks(CodecBuffer& src, CodecBuffer& dst, CodecProgressCallback cb, uint32_t u1,
                                          uint32_t u2, int channels, int firstOffset)
{
    const bool fast = (compressionSpeed_ == 1 || compressionSpeed_ == 2) && useSSE_;  // one fast form only
    const bool bytes = fast || BytePath(src);
    RepeatedBlock<2 * 16 * sizeof(float), 16> previous;
    return RunBlockLoop(src, dst, cb, u1, u2, [&](uint32_t x, uint32_t y) {
        uint8_t block[16];
        // Both channels' values, as bytes or as floats, before any is encoded.
        union
        {
            uint8_t bytes[2][16];
            float floats[2][16];
        } v;
        std::memset(&v, 0, sizeof v);
        for (int ch = 0; ch < channels; ++ch)
        {
            if (bytes)
                src.ReadChannel(ch, ValueForm::U8, x, y, 4, 4, v.bytes[ch]);
            else
                src.ReadChannel(ch, ValueForm::Float, x, y, 4, 4, v.floats[ch]);
        }
        if (!previous.Copy(&v, block))
        {
            for (int ch = 0; ch < channels; ++ch)
            {
                uint8_t* out = block + (ch == 0 ? firstOffset : 8 - firstOffset);
                if (!bytes)
                    CompressInterpolatedAlphaF(v.floats[ch], useSSE2_, out);
                else if (fast)
                    FastInterpolatedAlpha(v.bytes[ch], out);
                else
                    CompressInterpolatedAlpha(v.bytes[ch], useSSE2_, out);
            }
            previous.Keep(&v, block);
        }
        dst.WriteCompressedBlock(x, y, block, 2 * channels);
    });
}

// ---- DXT1 ----

bool Dxt1Codec::SetParameter(const char* name, int32_t value)
{
    if (std::strcmp(name, "DXT1UseAlpha") == 0) return useAlpha_ = value != 0, true;
    if (std::strcmp(name, "AlphaThreshold") == 0) return alphaThreshold_ = uint8_t(value), true;
    return DxtcCodec::SetParameter(name, value);
}

bool Dxt1Codec::GetParameter(const char* name, int32_t* out)
{
    if (std::strcmp(name, "DXT1UseAlpha") == 0) return *out = useAlpha_, true;
    if (std::strcmp(name, "AlphaThreshold") == 0) return *out = alphaThreshold_, true;
    return DxtcCodec::GetParameter(name, out);
}

CodecBuffer* Dxt1Codec::CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data)
{
    return CreateCodecBuffer(19, width, height, pitch, data);
}

uint32_t Dxt1Codec::Compress(CodecBuffer& src, CodecBuffer& dst, CodecProgressCallback cb, uint32_t u1, uint32_t u2)
{
    const DxtColorSettings settings = ColorSettings();
    DxtColorRequest request;
    request.allowThreeColor = true;
    request.transparency = useAlpha_;
    const int fast = FastMode();
    if (fast == 2)
    {
        // Up to kFastBatch blocks of a row at once; blocks with cut-out texels take the quality encoder
        // (the fast encoders have no 3-colour mode), so that their alpha is kept.
        const SimdLevel level = CodecSimdLevel();
        request.alphaThreshold = alphaThreshold_;
        RepeatedBlock<64, 8> previous;
        return RunBlockRowLoop(src, dst, cb, u1, u2, [&](uint32_t y, uint32_t across) {
            for (uint32_t first = 0; first < across; first += kFastBatch)
            {
                const uint32_t n = std::min(kFastBatch, across - first);
                ByteBlock b[kFastBatch];
                uint8_t block[kFastBatch][8];
                const uint32_t* texels[kFastBatch];
                uint8_t* out[kFastBatch];
                bool repeats[kFastBatch];
                int opaque = 0;
                for (uint32_t i = 0; i < n; ++i)
                {
                    ReadBytes(src, 4 * (first + i), y, b[i].t);
                    // A block like the one before it is filled in once that one is encoded.
                    repeats[i] =
                        i > 0 ? std::memcmp(b[i].t, b[i - 1].t, sizeof b[i].t) == 0 : previous.Copy(b[i].t, block[i]);
                    if (repeats[i]) continue;
                    bool transparent = false;
                    for (uint32_t t : b[i].t) transparent |= useAlpha_ && (t >> 24) < alphaThreshold_;
                    if (transparent)
                    {
                        CompressColorB(b[i].t, request, settings, block[i]);
                    }
                    else
                    {
                        texels[opaque] = b[i].t;
                        out[opaque++] = block[i];
                    }
                }
                FastColorSSE2Blocks(level, texels, opaque, out);
                for (uint32_t i = 0; i < n; ++i)
                {
                    if (repeats[i] && i > 0) std::memcpy(block[i], block[i - 1], 8);
                    dst.WriteCompressedBlock(4 * (first + i), y, block[i], 2);
                }
                previous.Keep(b[n - 1].t, block[n - 1]);
            }
        });
    }
    if (fast != 0)
    {
        RepeatedBlock<64, 8> previous;
        return RunBlockLoop(src, dst, cb, u1, u2, [&](uint32_t x, uint32_t y) {
            ByteBlock b;
            ReadBytes(src, x, y, b.t);
            uint8_t block[8];
            if (previous.Copy(b.t, block))
            {
                dst.WriteCompressedBlock(x, y, block, 2);
                return;
            }
            bool transparent = false;
            for (uint32_t t : b.t) transparent |= useAlpha_ && (t >> 24) < alphaThreshold_;
            if (transparent)
            {
                // The fast encoders have no 3-colour mode; blocks with cut-out texels take the
                // quality encoder so that their alpha is kept.
                request.alphaThreshold = alphaThreshold_;
                CompressColorB(b.t, request, settings, block);
            }
            else if (fast == 2)
            {
                FastColorSSE2(b.t, block);
            }
            else
            {
                FastColorSSE(b.t, block);
            }
            previous.Keep(b.t, block);
            dst.WriteCompressedBlock(x, y, block, 2);
        });
    }
    if (BytePath(src))
    {
        request.alphaThreshold = alphaThreshold_;
        RepeatedBlock<64, 8> previous;
        return RunBlockLoop(src, dst, cb, u1, u2, [&](uint32_t x, uint32_t y) {
            ByteBlock b;
            ReadBytes(src, x, y, b.t);
            uint8_t block[8];
            if (!previous.Copy(b.t, block))
            {
                request.weights = BlockWeightsB(b.t);
                CompressColorB(b.t, request, settings, block);
                previous.Keep(b.t, block);
            }
            dst.WriteCompressedBlock(x, y, block, 2);
        });
    }
    request.alphaThreshold = float(alphaThreshold_) / 255.0f;
    RepeatedBlock<256, 8> previous;
    return RunBlockLoop(src, dst, cb, u1, u2, [&](uint32_t x, uint32_t y) {
        FloatBlock b;
        ReadFloats(src, x, y, b.t);
        uint8_t block[8];
        if (!previous.Copy(b.t, block))
        {
            request.weights = BlockWeightsF(b.t);
            CompressColorF(b.t, request, settings, block);
            previous.Keep(b.t, block);
        }
        dst.WriteCompressedBlock(x, y, block, 2);
    });
}

uint32_t Dxt1Codec::Decompress(CodecBuffer& src, CodecBuffer& dst)
{
    // A block whose color0 <= color1 is always read with the 3-colour palette: that is how the
    // encoder wrote it, whatever the alpha setting.
    return DecodeBlocks(
        src, dst, BytePath(dst), 2, [](const uint8_t* block, uint32_t* t) { DecompressColorB(block, true, t); },
        [](const uint8_t* block, float* t) { DecompressColorF(block, true, t); }, PlainWrite{dst});
}

// ---- DXT3 ----

CodecBuffer* Dxt3Codec::CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data)
{
    return CreateCodecBuffer(20, width, height, pitch, data);
}

uint32_t Dxt3Codec::Compress(CodecBuffer& src, CodecBuffer& dst, CodecProgressCallback cb, uint32_t u1, uint32_t u2)
{
    static constexpr AlphaColourOps kOps{ExplicitAlphaAlways7, &DxtcCodec::CompressExplicitBlockFast,
                                         &DxtcCodec::CompressExplicitBlockFastSSE2, &DxtcCodec::CompressDxt3BlockB,
                                         &DxtcCodec::CompressDxt3BlockF};
    return CompressAlphaColourBlocks(src, dst, cb, u1, u2, kOps, ReadBytes, ReadFloats);
}

uint32_t Dxt3Codec::Decompress(CodecBuffer& src, CodecBuffer& dst)
{
    return DecodeBlocks(src, dst, BytePath(dst), 4, DecompressDxt3BlockB, DecompressDxt3BlockF, PlainWrite{dst});
}

// ---- DXT5 and the swizzled forms ----

namespace {

// The source channel a weight parameter names: 0 R, 1 G, 2 B; -1 for any other name.
int WeightChannel(const char* name)
{
    return std::strcmp(name, "WeightR") == 0   ? 0
           : std::strcmp(name, "WeightG") == 0 ? 1
           : std::strcmp(name, "WeightB") == 0 ? 2
                                               : -1;
}

constexpr int kSwizzles[7][4] = {
    {0, 1, 2, 3},    // 4 DXT5
    {-1, 1, 2, 0},   // 5 xGBR
    {0, -1, 2, 1},   // 6 RxBG
    {0, 2, -1, 1},   // 7 RBxG
    {-1, 0, 2, 1},   // 8 xRBG
    {0, 1, -1, 2},   // 9 RGxB
    {-1, 1, -1, 0},  // 10 xGxR
};

}  // namespace

DxtcDxt5Codec::DxtcDxt5Codec(uint32_t codecType) : DxtcCodec(codecType), ownWeights_(codecType == 7 || codecType == 8)
{
    const uint32_t row = codecType >= 4 && codecType <= 10 ? codecType - 4 : 0;
    std::memcpy(swizzle_, kSwizzles[row], sizeof swizzle_);
}

bool DxtcDxt5Codec::SetParameter(const char* name, float value)
{
    if (ownWeights_)
    {
        // The weight goes to the block channel that carries the source channel, unsquared.
        if (const int source = WeightChannel(name); source >= 0)
        {
            for (int slot = 0; slot < 3; ++slot)
                if (swizzle_[slot] == source) baseWeights_[slot] = blockWeights_[slot] = value;
            return true;
        }
    }
    return DxtcCodec::SetParameter(name, value);
}

bool DxtcDxt5Codec::GetParameter(const char* name, float* out)
{
    if (ownWeights_)
    {
        if (const int source = WeightChannel(name); source >= 0)
        {
            for (int slot = 0; slot < 3; ++slot)
                if (swizzle_[slot] == source) return *out = baseWeights_[slot], true;
            return false;
        }
    }
    return DxtcCodec::GetParameter(name, out);
}

CodecBuffer* DxtcDxt5Codec::CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data)
{
    return CreateCodecBuffer(20, width, height, pitch, data);
}

bool DxtcDxt5Codec::ReadSwizzledBytes(CodecBuffer& buffer, uint32_t x, uint32_t y, uint32_t texels[16]) const
{
    if (!ReadBytes(buffer, x, y, texels)) return false;
    if (GetType() == 4) return true;
    for (int i = 0; i < 16; ++i)
    {
        uint32_t v[4];
        for (int p = 0; p < 4; ++p) v[p] = swizzle_[p] < 0 ? 0 : Channel(texels[i], swizzle_[p]);
        texels[i] = Texel(v[0], v[1], v[2], v[3]);
    }
    return true;
}

bool DxtcDxt5Codec::ReadSwizzledFloat(CodecBuffer& buffer, uint32_t x, uint32_t y, float texels[64]) const
{
    if (!ReadFloats(buffer, x, y, texels)) return false;
    if (GetType() == 4) return true;
    for (int i = 0; i < 16; ++i)
    {
        float v[4];
        for (int p = 0; p < 4; ++p) v[p] = swizzle_[p] < 0 ? 0.0f : texels[4 * i + swizzle_[p]];
        std::memcpy(texels + 4 * i, v, sizeof v);
    }
    return true;
}

void DxtcDxt5Codec::WriteUnswizzledBytes(CodecBuffer& buffer, uint32_t x, uint32_t y, const uint32_t texels[16]) const
{
    uint32_t out[16];
    for (int i = 0; i < 16; ++i)
    {
        uint32_t v[4] = {0, 0, 0, 255};
        for (int p = 0; p < 4; ++p)
            if (swizzle_[p] >= 0) v[swizzle_[p]] = Channel(texels[i], p);
        out[i] = Texel(v[0], v[1], v[2], v[3]);
    }
    buffer.WriteBlock(ValueForm::U8, x, y, 4, 4, out);
}

void DxtcDxt5Codec::WriteUnswizzledFloat(CodecBuffer& buffer, uint32_t x, uint32_t y, const float texels[64]) const
{
    // Channels the block does not carry read 0, and alpha reads opaque unless the block carries it,
    // as on the byte path.
    float out[64];
    for (int i = 0; i < 16; ++i)
    {
        float v[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        for (int p = 0; p < 4; ++p)
            if (swizzle_[p] >= 0) v[swizzle_[p]] = texels[4 * i + p];
        std::memcpy(out + 4 * i, v, sizeof v);
    }
    buffer.WriteBlock(ValueForm::Float, x, y, 4, 4, out);
}

uint32_t DxtcDxt5Codec::Compress(CodecBuffer& src, CodecBuffer& dst, CodecProgressCallback cb, uint32_t u1, uint32_t u2)
{
    static constexpr AlphaColourOps kOps{FastInterpolatedAlpha, &DxtcCodec::CompressBlockFast,
                                         &DxtcCodec::CompressBlockFastSSE2, &DxtcCodec::CompressDxt5BlockB,
                                         &DxtcCodec::CompressDxt5BlockF};
    return CompressAlphaColourBlocks(
        src, dst, cb, u1, u2, kOps,
        [this](CodecBuffer& b, uint32_t x, uint32_t y, uint32_t* t) { return ReadSwizzledBytes(b, x, y, t); },
        [this](CodecBuffer& b, uint32_t x, uint32_t y, float* t) { return ReadSwizzledFloat(b, x, y, t); });
}

uint32_t DxtcDxt5Codec::Decompress(CodecBuffer& src, CodecBuffer& dst)
{
    return DecodeBlocks(src, dst, BytePath(dst), 4, DecompressDxt5BlockB, DecompressDxt5BlockF,
                        Overload{[&](uint32_t x, uint32_t y, const uint32_t* t) { WriteUnswizzledBytes(dst, x, y, t); },
                                 [&](uint32_t x, uint32_t y, const float* t) { WriteUnswizzledFloat(dst, x, y, t); }});
}

// ---- ATI1N ----

CodecBuffer* Ati1nCodec::CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data)
{
    return CreateCodecBuffer(19, width, height, pitch, data);
}

uint32_t Ati1nCodec::Compress(CodecBuffer& src, CodecBuffer& dst, CodecProgressCallback cb, uint32_t u1, uint32_t u2)
{
    return CompressChannelBlocks(src, dst, cb, u1, u2, 1, 0);
}

uint32_t Ati1nCodec::Decompress(CodecBuffer& src, CodecBuffer& dst)
{
    return DecodeBlocks(
        src, dst, BytePath(dst), 2,
        [](const uint8_t* block, uint32_t* t) {
            uint8_t v[16];
            DecompressInterpolatedAlpha(block, v);
            for (int i = 0; i < 16; ++i) t[i] = v[i] * 0x01010101u;
        },
        [](const uint8_t* block, float* t) {
            float v[16];
            DecompressInterpolatedAlphaF(block, v);
            for (int i = 0; i < 16; ++i) t[4 * i] = t[4 * i + 1] = t[4 * i + 2] = t[4 * i + 3] = v[i];
        },
        PlainWrite{dst});
}

// ---- ATI2N ----

CodecBuffer* Ati2nCodec::CreateBuffer(uint32_t width, uint32_t height, uint32_t pitch, void* data)
{
    return CreateCodecBuffer(20, width, height, pitch, data);
}

uint8_t Ati2nCodec::ReconstructZByte(uint8_t x, uint8_t y)
{
    const float fx = float(x) / 255.0f * 2.0f - 1.0f, fy = float(y) / 255.0f * 2.0f - 1.0f;
    const float d = fy * fy + fx * fx;
    const float z = std::sqrt(1.0f - std::min(d, 1.0f));
    const float r = z * 127.0f + 128.0f;
    return uint8_t(std::min(std::max(r, 0.0f), 255.0f));
}

float Ati2nCodec::ReconstructZFloat(float x, float y)
{
    const float fx = 2.0f * x - 1.0f, fy = 2.0f * y - 1.0f;
    const float d = fy * fy + fx * fx;
    const float z = std::sqrt(1.0f - std::min(d, 1.0f));
    return (z + 1.0f) * 0.5f;
}

uint32_t Ati2nCodec::Compress(CodecBuffer& src, CodecBuffer& dst, CodecProgressCallback cb, uint32_t u1, uint32_t u2)
{
    return CompressChannelBlocks(src, dst, cb, u1, u2, 2, GetType() == 12 ? 8 : 0);
}

uint32_t Ati2nCodec::Decompress(CodecBuffer& src, CodecBuffer& dst)
{
    const int firstOffset = GetType() == 12 ? 8 : 0;
    return DecodeBlocks(
        src, dst, BytePath(dst), 4,
        [firstOffset](const uint8_t* block, uint32_t* t) {
            uint8_t cx[16], cy[16];
            DecompressInterpolatedAlpha(block + firstOffset, cx);
            DecompressInterpolatedAlpha(block + 8 - firstOffset, cy);
            for (int i = 0; i < 16; ++i) t[i] = Texel(cx[i], cy[i], ReconstructZByte(cx[i], cy[i]), 0);
        },
        [firstOffset](const uint8_t* block, float* t) {
            float cx[16], cy[16];
            DecompressInterpolatedAlphaF(block + firstOffset, cx);
            DecompressInterpolatedAlphaF(block + 8 - firstOffset, cy);
            for (int i = 0; i < 16; ++i)
            {
                t[4 * i] = cx[i];
                t[4 * i + 1] = cy[i];
                t[4 * i + 2] = ReconstructZFloat(cx[i], cy[i]);
                t[4 * i + 3] = 0.0f;
            }
        },
        PlainWrite{dst});
}

uint32_t Ati2nDxt5Codec::Compress(CodecBuffer& src, CodecBuffer& dst, CodecProgressCallback cb, uint32_t u1,
                                  uint32_t u2)
{
    const bool bytes = BytePath(src);
    RepeatedBlock<64, 16> previousBytes;
    RepeatedBlock<256, 16> previousFloats;
    return RunBlockLoop(src, dst, cb, u1, u2, [&](uint32_t x, uint32_t y) {
        uint8_t block[16];
        if (bytes)
        {
            ByteBlock b;
            ReadBytes(src, x, y, b.t);
            for (uint32_t& t : b.t) t = Texel(0, Channel(t, 1), 0, Channel(t, 0));
            if (!previousBytes.Copy(b.t, block))
            {
                CompressDxt5BlockB(b.t, nullptr, block);
                previousBytes.Keep(b.t, block);
            }
        }
        else
        {
            FloatBlock b;
            ReadFloats(src, x, y, b.t);
            for (int i = 0; i < 16; ++i)
            {
                const float r = b.t[4 * i], g = b.t[4 * i + 1];
                b.t[4 * i] = 0.0f, b.t[4 * i + 1] = g, b.t[4 * i + 2] = 0.0f, b.t[4 * i + 3] = r;
            }
            if (!previousFloats.Copy(b.t, block))
            {
                CompressDxt5BlockF(b.t, nullptr, block);
                previousFloats.Keep(b.t, block);
            }
        }
        dst.WriteCompressedBlock(x, y, block, 4);
    });
}

uint32_t Ati2nDxt5Codec::Decompress(CodecBuffer& src, CodecBuffer& dst)
{
    return DecodeBlocks(
        src, dst, BytePath(dst), 4,
        [](const uint8_t* block, uint32_t* t) {
            DecompressDxt5BlockB(block, t);
            for (int i = 0; i < 16; ++i)
            {
                const uint32_t r = Channel(t[i], 3), g = Channel(t[i], 1);
                t[i] = Texel(r, g, ReconstructZByte(uint8_t(r), uint8_t(g)), 255);
            }
        },
        [](const uint8_t* block, float* t) {
            DecompressDxt5BlockF(block, t);
            for (int i = 0; i < 16; ++i)
            {
                const float r = t[4 * i + 3], g = t[4 * i + 1];
                t[4 * i] = r, t[4 * i + 1] = g, t[4 * i + 2] = ReconstructZFloat(r, g), t[4 * i + 3] = 1.0f;
            }
        },
        PlainWrite{dst});
}
