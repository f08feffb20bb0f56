#include "engine/VertexType.h"

#include <algorithm>

namespace Orvo {

VertexType::VertexType(const VertexFormat& format)
{
    offsets_.fill(-1);
    int32_t at = 0;
    auto place = [&](uint32_t item, int32_t bytes) {
        offsets_[item] = at;
        at += bytes;
    };
    place(ItemPosition, 12);
    if (format.normal) place(ItemNormal, 12);
    if (format.colour) place(ItemColour, 4);
    if (format.colourFloat) place(ItemColourFloat, 16);
    const uint32_t weights = std::min<uint32_t>(format.weights, 4);
    if (weights > 0)
    {
        for (uint32_t w = 0; w < weights; ++w) offsets_[ItemBlendWeight1 + w] = at;
        at += int32_t(4 * weights);
    }
    if (format.packedWeights) place(ItemPackedWeights, 4);
    if (format.blendIndices) place(ItemBlendIndices, 4);
    for (uint32_t t = 0; t < std::min<uint32_t>(format.textureSets, 8); ++t) place(ItemTexture0 + t, 8);
    if (format.tangent) place(ItemTangent, 12);
    stride_ = uint32_t(at);
}

VertexType::VertexType(uint32_t id, uint32_t stride, std::initializer_list<std::pair<uint32_t, int32_t>> offsets)
    : id_(id), stride_(stride)
{
    offsets_.fill(-1);
    for (const auto& [item, offset] : offsets)
        if (item < ItemTypeCount) offsets_[item] = offset;
}

uint32_t VertexType::GetTextureSetCount() const
{
    uint32_t n = 0;
    for (uint32_t t = ItemTexture0; t <= ItemTexture7; ++t)
        if (Has(t)) ++n;
    return n;
}

const VertexType& VertexType::PNT()
{
    static const VertexType type(IdPNT, 32, {{ItemPosition, 0}, {ItemNormal, 12}, {ItemTexture0, 24}});
    return type;
}

const VertexType& VertexType::PCT()
{
    static const VertexType type(IdPCT, 24, {{ItemPosition, 0}, {ItemColour, 12}, {ItemTexture0, 16}});
    return type;
}

const VertexType& VertexType::PCNTA()
{
    static const VertexType type(
        IdPCNTA, 48, {{ItemPosition, 0}, {ItemColour, 12}, {ItemNormal, 16}, {ItemTexture0, 28}, {ItemTangent, 36}});
    return type;
}

const VertexType& VertexType::PNTA()
{
    static const VertexType type(IdPNTA, 44,
                                 {{ItemPosition, 0}, {ItemNormal, 12}, {ItemTexture0, 24}, {ItemTangent, 32}});
    return type;
}

}  // namespace Orvo
