#include "textures/codec/DxtcCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "textures/codec/AlphaBlock.h"
#include "textures/codec/FastDxtBlock.h"

DxtcCodec::DxtcCodec(uint32_t codecType) : BlockCodec4x4(codecType) {}

bool DxtcCodec::SetParameter(const char* name, int32_t value)
{
    if (std::strcmp(name, "UseChannelWeighting") == 0) return useChannelWeighting_ = value != 0, true;
    if (std::strcmp(name, "UseAdaptiveWeighting") == 0) return useAdaptiveWeighting_ = value != 0, true;
    if (std::strcmp(name, "3DRefinement") == 0) return use3DRefinement_ = value != 0, true;
    if (std::strcmp(name, "RefinementSteps") == 0) return refinementSteps_ = uint8_t(value), true;
    if (std::strcmp(name, "ForceFloatPath") == 0) return forceFloatPath_ = value != 0, true;
    if (std::strcmp(name, "CompressionSpeed") == 0) return compressionSpeed_ = value, true;
    return BlockCodec4x4::SetParameter(name, value);
}

bool DxtcCodec::GetParameter(const char* name, int32_t* out)
{
    if (std::strcmp(name, "UseChannelWeighting") == 0) return *out = useChannelWeighting_, true;
    if (std::strcmp(name, "UseAdaptiveWeighting") == 0) return *out = useAdaptiveWeighting_, true;
    if (std::strcmp(name, "3DRefinement") == 0) return *out = use3DRefinement_, true;
    if (std::strcmp(name, "RefinementSteps") == 0) return *out = refinementSteps_, true;
    if (std::strcmp(name, "ForceFloatPath") == 0) return *out = forceFloatPath_, true;
    if (std::strcmp(name, "CompressionSpeed") == 0) return *out = compressionSpeed_, true;
    return BlockCodec4x4::GetParameter(name, out);
}

namespace {

int WeightSlot(const char* name)
{
    if (std::strcmp(name, "WeightR") == 0) return 0;
    if (std::strcmp(name, "WeightG") == 0) return 1;
    if (std::strcmp(name, "WeightB") == 0) return 2;
    return -1;
}

}  // namespace

bool DxtcCodec::SetParameter(const char* name, float value)
{
    const int slot = WeightSlot(name);
    if (slot < 0) return BlockCodec4x4::SetParameter(name, value);
    const float squared = float(double(value) * double(value));
    baseWeights_[slot] = blockWeights_[slot] = squared;
    return true;
}

bool DxtcCodec::GetParameter(const char* name, float* out)
{
    const int slot = WeightSlot(name);
    if (slot < 0) return BlockCodec4x4::GetParameter(name, out);
    *out = std::sqrt(baseWeights_[slot]);
    return true;
}

DxtColorSettings DxtcCodec::ColorSettings() const
{
    DxtColorSettings s;
    s.useSSE2 = useSSE2_;
    s.use3DRefinement = use3DRefinement_;
    s.refinementSteps = refinementSteps_;
    s.compressionSpeed = compressionSpeed_;
    return s;
}

bool DxtcCodec::BytePath(const CodecBuffer& pixels) const
{
    return !pixels.IsFloat() && pixels.GetBitsPerChannel() == 8 && !forceFloatPath_;
}

int DxtcCodec::FastMode() const
{
    if (compressionSpeed_ == 2 && useSSE2_) return 2;
    if ((compressionSpeed_ == 1 || compressionSpeed_ == 2) && useSSE_) return 1;
    return 0;
}

const float* DxtcCodec::AdaptWeights(const float mean[3])
{
    const float top = std::max(mean[0], std::max(mean[1], mean[2]));
    float m[3] = {1.0f, 1.0f, 1.0f};
    if (top > 0.0f)
        for (int c = 0; c < 3; ++c) m[c] = mean[c] / top;
    const float baseSum = baseWeights_[0] + baseWeights_[1] + baseWeights_[2];
    float w[3], sum = 0.0f;
    for (int c = 0; c < 3; ++c)
    {
        w[c] = (baseSum > 0.0f ? baseWeights_[c] / baseSum : 0.0f) * (3.0f * m[c] + 1.0f) / 4.0f;
        sum += w[c];
    }
    for (int c = 0; c < 3; ++c) blockWeights_[c] = sum > 0.0f ? w[c] / sum : 0.0f;
    return blockWeights_;
}

const float* DxtcCodec::BlockWeightsB(const uint32_t texels[16])
{
    if (!useChannelWeighting_) return nullptr;
    if (!useAdaptiveWeighting_) return blockWeights_;
    float mean[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i)
    {
        mean[0] += float((texels[i] >> 16) & 255);
        mean[1] += float((texels[i] >> 8) & 255);
        mean[2] += float(texels[i] & 255);
    }
    return AdaptWeights(mean);
}

const float* DxtcCodec::BlockWeightsF(const float texels[64])
{
    if (!useChannelWeighting_) return nullptr;
    if (!useAdaptiveWeighting_) return blockWeights_;
    float mean[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 3; ++c) mean[c] += texels[4 * i + c];
    return AdaptWeights(mean);
}

namespace {

void AlphaBytes(const uint32_t texels[16], uint8_t alpha[16])
{
    for (int i = 0; i < 16; ++i) alpha[i] = uint8_t(texels[i] >> 24);
}
void AlphaFloats(const float texels[64], float alpha[16])
{
    for (int i = 0; i < 16; ++i) alpha[i] = texels[4 * i + 3];
}

// Decoded alpha into decoded colour texels.
void PutAlphaB(const uint8_t alpha[16], uint32_t texels[16])
{
    for (int i = 0; i < 16; ++i) texels[i] = (texels[i] & 0xFFFFFF) | uint32_t(alpha[i]) << 24;
}
void PutAlphaF(const float alpha[16], float texels[64])
{
    for (int i = 0; i < 16; ++i) texels[4 * i + 3] = alpha[i];
}

DxtColorRequest ColorRequest(const float* weights)
{
    DxtColorRequest request;
    request.weights = weights;
    return request;
}

void ExplicitAlphaB(const uint8_t alpha[16], uint8_t block[8])
{
    CompressExplicitAlpha(alpha, ExplicitRounding::Always7, block);
}

// The fast 16-byte blocks of DXT3 and DXT5: 8 bytes of alpha, then the 8-byte colour block.
void AlphaThenColour(const uint32_t texels[16], uint8_t block[16], void (*alpha)(const uint8_t*, uint8_t*),
                     void (*colour)(const uint32_t*, uint8_t*))
{
    uint8_t a[16];
    AlphaBytes(texels, a);
    alpha(a, block);
    colour(texels, block + 8);
}

}  // namespace

void DxtcCodec::CompressDxt5BlockB(const uint32_t texels[16], const float* weights, uint8_t block[16]) const
{
    uint8_t alpha[16];
    AlphaBytes(texels, alpha);
    CompressInterpolatedAlpha(alpha, useSSE2_, block);
    CompressColorB(texels, ColorRequest(weights), ColorSettings(), block + 8);
}

void DxtcCodec::CompressDxt5BlockF(const float texels[64], const float* weights, uint8_t block[16]) const
{
    float alpha[16];
    AlphaFloats(texels, alpha);
    CompressInterpolatedAlphaF(alpha, useSSE2_, block);
    CompressColorF(texels, ColorRequest(weights), ColorSettings(), block + 8);
}

void DxtcCodec::CompressDxt3BlockB(const uint32_t texels[16], const float* weights, uint8_t block[16]) const
{
    uint8_t alpha[16];
    AlphaBytes(texels, alpha);
    ExplicitAlphaB(alpha, block);
    CompressColorB(texels, ColorRequest(weights), ColorSettings(), block + 8);
}

void DxtcCodec::CompressDxt3BlockF(const float texels[64], const float* weights, uint8_t block[16]) const
{
    float alpha[16];
    AlphaFloats(texels, alpha);
    CompressExplicitAlphaF(alpha, block);
    CompressColorF(texels, ColorRequest(weights), ColorSettings(), block + 8);
}

void DxtcCodec::CompressBlockFast(const uint32_t texels[16], uint8_t block[16]) const
{
    AlphaThenColour(texels, block, FastInterpolatedAlpha, FastColorSSE);
}

void DxtcCodec::CompressBlockFastSSE2(const uint32_t texels[16], uint8_t block[16]) const
{
    AlphaThenColour(texels, block, FastInterpolatedAlpha, FastColorSSE2);
}

void DxtcCodec::CompressExplicitBlockFast(const uint32_t texels[16], uint8_t block[16]) const
{
    AlphaThenColour(texels, block, ExplicitAlphaB, FastColorSSE);
}

void DxtcCodec::CompressExplicitBlockFastSSE2(const uint32_t texels[16], uint8_t block[16]) const
{
    AlphaThenColour(texels, block, ExplicitAlphaB, FastColorSSE2);
}

void DxtcCodec::DecompressDxt5BlockB(const uint8_t block[16], uint32_t texels[16])
{
    uint8_t alpha[16];
    DecompressInterpolatedAlpha(block, alpha);
    DecompressColorB(block + 8, false, texels);
    PutAlphaB(alpha, texels);
}

void DxtcCodec::DecompressDxt5BlockF(const uint8_t block[16], float texels[64])
{
    float alpha[16];
    DecompressInterpolatedAlphaF(block, alpha);
    DecompressColorF(block + 8, false, texels);
    PutAlphaF(alpha, texels);
}

void DxtcCodec::DecompressDxt3BlockB(const uint8_t block[16], uint32_t texels[16])
{
    uint8_t alpha[16];
    DecompressExplicitAlpha(block, alpha);
    DecompressColorB(block + 8, false, texels);
    PutAlphaB(alpha, texels);
}

void DxtcCodec::DecompressDxt3BlockF(const uint8_t block[16], float texels[64])
{
    float alpha[16];
    DecompressExplicitAlphaF(block, alpha);
    DecompressColorF(block + 8, false, texels);
    PutAlphaF(alpha, texels);
}
