// Geometry chunks over the packed vertex types: shared arrays, static buffers, item layouts.
#include "engine/GeometryChunk.h"
#include "engine/Display.h"
#include "engine/Material.h"

#include <gtest/gtest.h>

using namespace Orvo;

namespace {
using PCT = GeometryChunkTemplate<PackedVertexPCT>;
using NmlPCT = GeometryChunkNmlTemplate<PackedVertexPCT>;

template <class C>
AutoReference<C> Make(uint32_t flags, uint32_t vertices, uint32_t indices = 3)
{
    return AutoReference<C>(new C(flags | GeometryChunk::PrimitiveList, vertices, 1, indices, 1));
}
}  // namespace

TEST(GeometryChunk, PackedTypesAnswerTheirLayout)
{
    const struct
    {
        const VertexType& type;
        uint32_t id, stride;
        int32_t normal, tangent;
    } cases[] = {{VertexType::PNT(), 18, 32, 12, -1},
                 {VertexType::PCT(), 19, 24, -1, -1},
                 {VertexType::PCNTA(), 40, 48, 16, 36}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.type.GetId(), c.id);
        EXPECT_EQ(c.type.GetStride(), c.stride);
        EXPECT_EQ(c.type.GetItemOffset(ItemNormal), c.normal);
        EXPECT_EQ(c.type.GetItemOffset(ItemTangent), c.tangent);
    }
    auto chunk = Make<PCT>(0, 3);
    EXPECT_EQ(chunk->GetVertexTypeID(), 19u);
    EXPECT_EQ(chunk->GetVertexSize(), 24u);
    const VertexItemPtr absent = chunk->GetVector3Array(ItemNormal);
    EXPECT_EQ(absent.stride, 0u);
    EXPECT_EQ(absent.address, nullptr);
    const VertexItemPtr uv = chunk->GetVector2Array(ItemTexture0);
    EXPECT_EQ(uv.address, chunk->GetVertexArray() + 16);
    auto nml = Make<NmlPCT>(0, 3);
    EXPECT_EQ(nml->GetVector3Array(ItemNormal).stride, 12u);
    EXPECT_EQ(nml->GetVector3Array(ItemPosition).stride, 24u);
}

TEST(GeometryChunk, CopiesShareVerticesUntilOneDuplicatesOrResizes)
{
    auto a = Make<NmlPCT>(0, 4);
    a->GetVertices()[3].colour = 0xABCDEF01u;
    AutoReference<GeometryChunk> b(a->CreateInstance());
    auto* copy = static_cast<NmlPCT*>(b.Get());
    EXPECT_EQ(copy->GetVertexArray(), a->GetVertexArray());
    EXPECT_EQ(a->GetVertexArrayUses(), 2);
    EXPECT_EQ(a->GetNormalArrayUses(), 2);
    Display display(Display::Kind::Null);
    ASSERT_TRUE(copy->DuplicateVertexArray(&display));
    EXPECT_NE(copy->GetVertexArray(), a->GetVertexArray());
    EXPECT_EQ(a->GetVertexArrayUses(), 1);
    EXPECT_EQ(a->GetNormalArrayUses(), 1);

    // Resizing keeps the first vertices.
    ASSERT_TRUE(a->ResizeVertexArray(&display, 2));
    EXPECT_EQ(a->GetNumVertices(), 2u);
    ASSERT_TRUE(a->ResizeVertexArray(&display, 6));
    EXPECT_EQ(a->GetMaxVertices(), 6u);
    EXPECT_EQ(copy->GetVertices()[3].colour, 0xABCDEF01u);
    EXPECT_EQ(a->GetVertices()[3].colour, 0u);  // lost when it shrank to 2
}

TEST(GeometryChunk, StaticBuffersFollowTheDynamicFlags)
{
    const struct
    {
        uint32_t flags;
        bool vertexBuffer, indexBuffer;
    } cases[] = {{0, true, true},
                 {GeometryChunk::FlagDynamicVertices, false, true},
                 {GeometryChunk::FlagDynamicIndices, true, false}};
    for (const auto& c : cases)
    {
        Display display(Display::Kind::Null);
        auto chunk = Make<PCT>(c.flags, 3);
        chunk->GetIndexArray()[2] = 2;
        ASSERT_TRUE(chunk->InitializeBuffers(&display, true));
        EXPECT_EQ(chunk->GetStaticVertexBuffer() != nullptr, c.vertexBuffer);
        EXPECT_EQ(chunk->GetStaticIndexBuffer() != nullptr, c.indexBuffer);
        if (c.vertexBuffer)
        {
            EXPECT_EQ(chunk->GetStaticVertexBuffer()->GetData().size(), 3u * 24u);
        }
        EXPECT_TRUE(chunk->LoadBuffers(&display));
    }
    // Refused creation or upload leaves no buffer.
    Display display(Display::Kind::Null);
    auto chunk = Make<PCT>(0, 3);
    display.SetFailUploads(true);
    EXPECT_FALSE(chunk->InitializeBuffers(&display, true));
    EXPECT_EQ(chunk->GetStaticVertexBuffer(), nullptr);
    EXPECT_TRUE(chunk->InitializeBuffers(&display, false));  // marked dirty, uploaded later
    EXPECT_TRUE(chunk->IsVertexDataDirty());
    display.SetFailBufferCreation(true);
    auto other = Make<PCT>(0, 3);
    EXPECT_FALSE(other->InitializeBuffers(&display, false));
}

TEST(GeometryChunk, TheChunkCheckRefusesIndicesBeyondTheVertices)
{
    Material material(PString("m.m.onetex"), PString("onetex"));
    AutoReference<GeometryChunk> chunk(material.CreateGeometryChunk(3, 1, 3, 1, 0, StandardChunkHint()));
    ASSERT_TRUE(chunk);
    EXPECT_EQ(chunk->GetFlags() & GeometryChunk::PrimitiveMask, uint32_t(GeometryChunk::PrimitiveList));
    Display display(Display::Kind::Null);
    EXPECT_TRUE(chunk->Check(&display));
    chunk->GetIndexArray()[1] = 3;
    EXPECT_FALSE(chunk->Check(&display));
    EXPECT_EQ(material.CreateGeometryChunk(3, 1, 3, 1, 6, StandardChunkHint()), nullptr);  // no such type

    // A skinned hint gives blend components: packed in hardware, floats in software.
    StandardChunkHint hardware(StandardChunkHint::UsageStatic, StandardChunkHint::Skinned);
    AutoReference<GeometryChunk> h(material.CreateGeometryChunk(3, 1, 3, 1, 0, hardware));
    EXPECT_TRUE(h->HasItem(ItemPackedWeights));
    EXPECT_TRUE(h->HasItem(ItemBlendIndices));
    StandardChunkHint software(StandardChunkHint::UsageDynamic,
                               StandardChunkHint::Skinned | StandardChunkHint::SoftwareSkinning);
    AutoReference<GeometryChunk> s(material.CreateGeometryChunk(3, 1, 3, 1, 0, software));
    EXPECT_TRUE(s->HasItem(ItemBlendWeight1));
    EXPECT_TRUE(s->HasItem(ItemBlendWeight4));
    EXPECT_NE(s->GetFlags() & GeometryChunk::FlagDynamicVertices, 0u);
}
