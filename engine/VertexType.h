#pragma once
// Vertex layouts. A vertex type gives, for every vertex item (engine/VertexType.h's VertexItemType), the
// byte offset of that item in a vertex, or -1 when the type lacks it, and the stride. The packed types
// the materials use have fixed layouts and type numbers; other layouts are made from a VertexFormat.
#include <array>
#include <cstddef>
#include <cstdint>

namespace Orvo {

enum VertexItemType : uint32_t
{
    ItemPosition = 1,      // 3 floats
    ItemColour = 2,        // one packed 32-bit colour, 0xAARRGGBB
    ItemColourFloat = 3,   // red, green, blue, alpha as floats
    ItemNormal = 4,        // 3 floats
    ItemBlendWeight1 = 5,  // 5 to 8: 1 to 4 floats
    ItemBlendWeight4 = 8,
    ItemPackedWeights = 9,  // four weights as bytes in one 32-bit word, weight 0 in the low byte
    ItemBlendIndices = 10,  // four bytes
    ItemTexture0 = 15,      // 15 + i: texture coordinate set i, 2 floats (i below 8)
    ItemTexture7 = 22,
    ItemTangent = 27,  // 3 floats: the extra vector of a mesh file, the tangent of the bump materials
    ItemTypeCount = 32,
};

// Where one item of the first vertex lies and how far apart vertices are; {0, null} when absent.
struct VertexItemPtr
{
    uint32_t stride = 0;
    uint8_t* address = nullptr;
    explicit operator bool() const { return address != nullptr; }
};

// The items of a generated layout.
struct VertexFormat
{
    bool normal = true;
    bool colour = true;
    bool colourFloat = false;
    uint32_t textureSets = 1;  // at most 8
    uint32_t weights = 0;      // float blend weights, at most 4
    bool packedWeights = false;
    bool blendIndices = false;
    bool tangent = false;
};

class VertexType
{
public:
    // Type numbers of the packed types; generated layouts are 0.
    enum Id : uint32_t
    {
        IdCustom = 0,
        IdPNT = 18,
        IdPCT = 19,
        IdPCNTA = 40,
        IdPNTA = 41,
    };

    // Layout order: position, normal, colour, float colour, weights, packed weights, blend indices,
    // texture sets, tangent.
    explicit VertexType(const VertexFormat& format);
    VertexType(uint32_t id, uint32_t stride, std::initializer_list<std::pair<uint32_t, int32_t>> offsets);
    virtual ~VertexType() = default;

    uint32_t GetId() const { return id_; }
    uint32_t GetStride() const { return stride_; }
    // The offset of an item, -1 when absent. Blend weight items answer for any count up to the type's
    // own (a type with 4 float weights answers items 5 to 8 at the same offset).
    int32_t GetItemOffset(uint32_t item) const { return item < ItemTypeCount ? offsets_[item] : -1; }
    bool Has(uint32_t item) const { return GetItemOffset(item) >= 0; }
    uint32_t GetTextureSetCount() const;

    bool operator==(const VertexType& o) const { return stride_ == o.stride_ && offsets_ == o.offsets_; }

    static const VertexType& PNT();
    static const VertexType& PCT();
    static const VertexType& PCNTA();
    static const VertexType& PNTA();

private:
    uint32_t id_ = IdCustom;
    uint32_t stride_ = 0;
    std::array<int32_t, ItemTypeCount> offsets_;
};

// The packed vertex types (4-byte fields, no padding).
struct PackedVertexPNT
{
    float position[3];
    float normal[3];
    float texture[2];
};
struct PackedVertexPCT
{
    float position[3];
    uint32_t colour;
    float texture[2];
};
struct PackedVertexPCNTA
{
    float position[3];
    uint32_t colour;
    float normal[3];
    float texture[2];
    float tangent[3];
};
struct PackedVertexPNTA
{
    float position[3];
    float normal[3];
    float texture[2];
    float tangent[3];
};
static_assert(sizeof(PackedVertexPNT) == 32 && sizeof(PackedVertexPCT) == 24 && sizeof(PackedVertexPCNTA) == 48 &&
              sizeof(PackedVertexPNTA) == 44);

}  // namespace Orvo
