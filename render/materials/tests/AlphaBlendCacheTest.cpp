// The alpha-blend caches: buckets by distance, triangle sorting near the camera, draw order, nested
// frames, and the display state around their drawing.
#include "engine/Display.h"
#include "engine/GeometryChunk.h"
#include "engine/Material.h"
#include "render/materials/VelmarAlphaBlendCache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace Orvo;

namespace {

// A material that writes what it is asked to draw into a list.
class TracingMaterial : public Material
{
public:
    TracingMaterial(std::vector<std::string>& out, const char* name) : Material(PString(name), PString("t")), out_(out)
    {}
    void RenderChunk(Display*, ViewPort*, GeometryChunk*, const LightList*, const Matrix4&, int) override
    {
        out_.push_back(GetName().str() + " chunk");
    }
    void RenderPrimitives(Display*, ViewPort*, GeometryChunk*, const LightList*, const Matrix4&, uint32_t count,
                          const uint16_t* indices, uint32_t primitives, uint32_t kind, int) override
    {
        std::string line = GetName().str() + " " + std::to_string(primitives) + " kind " + std::to_string(kind) + ":";
        for (uint32_t i = 0; i < count; ++i) line += " " + std::to_string(indices[i]);
        out_.push_back(line);
    }

private:
    std::vector<std::string>& out_;
};

// A chunk of `type` (0 list, 1 strip, 2 fan, 3 lines, 5 points) whose vertex i stands at (0, 0, z[i]).
AutoReference<GeometryChunk> Chunk(uint32_t typeCode, const std::vector<float>& z, const std::vector<uint16_t>& indices,
                                   uint32_t primitives)
{
    Material plain(PString("p"), PString("notex"));
    AutoReference<GeometryChunk> chunk(plain.CreateGeometryChunk(
        uint32_t(z.size()), primitives, uint32_t(indices.size()), 0, typeCode, StandardChunkHint()));
    const VertexItemPtr p = chunk->GetItem(ItemPosition);
    for (size_t i = 0; i < z.size(); ++i)
    {
        const float xyz[3] = {0, 0, z[i]};
        std::memcpy(p.address + i * p.stride, xyz, sizeof xyz);
    }
    for (size_t i = 0; i < indices.size(); ++i) chunk->GetIndexArray()[i] = indices[i];
    return chunk;
}

Matrix4 At(float distance)
{
    Matrix4 m;
    m.m[3][2] = distance;
    return m;
}

class AlphaBlendCacheTest : public ::testing::Test
{
protected:
    AutoReference<Material> Tracer(const char* name)
    {
        return AutoReference<Material>(new TracingMaterial(drawn_, name));
    }
    void Add(Material* m, GeometryChunk* c, float distance)
    {
        cache_->AddPrimitive(&display_, nullptr, m, c, nullptr, At(distance));
    }

    Display display_{Display::Kind::HiddenOpenGL};
    AutoReference<VelmarAlphaBlendCache> cache_{new VelmarAlphaBlendCache()};
    std::vector<std::string> drawn_;
    AutoReference<GeometryChunk> triangle_ = Chunk(0, {0, 0, 0}, {0, 1, 2}, 1);
};

TEST_F(AlphaBlendCacheTest, NearPrimitivesAreTriangleSortedAndFartherOnesDrawnWhole)
{
    EXPECT_EQ(VelmarAlphaBlendCache::BucketOf(349.0f), 69u);
    EXPECT_EQ(VelmarAlphaBlendCache::BucketOf(351.0f), 70u);
    EXPECT_NEAR(VelmarAlphaBlendCache::DistanceOf(At(349.0f)), 349.0f, 1.0f);  // one Newton step
    auto near = Tracer("near"), far = Tracer("far");
    Add(near.Get(), triangle_.Get(), 349.0f);
    Add(far.Get(), triangle_.Get(), 351.0f);
    EXPECT_EQ(cache_->GetBucketEntryCount(69), 1u);
    EXPECT_EQ(cache_->GetBucketEntryCount(70), 1u);
    cache_->Render(&display_, nullptr);
    EXPECT_EQ(drawn_, (std::vector<std::string>{"far chunk", "near 1 kind 4: 0 1 2"}));
    EXPECT_TRUE(cache_->IsEmpty());
}

TEST_F(AlphaBlendCacheTest, FarToNearAndEqualDistancesInReverseOfAddOrder)
{
    auto a = Tracer("a"), b = Tracer("b"), c = Tracer("c"), d = Tracer("d");
    Add(a.Get(), triangle_.Get(), 500.0f);
    Add(b.Get(), triangle_.Get(), 500.0f);
    Add(c.Get(), triangle_.Get(), 2000.0f);  // beyond the far distance: the last bucket
    Add(d.Get(), triangle_.Get(), 501.0f);   // the same bucket as a and b, farther
    EXPECT_FALSE(cache_->IsEmpty());
    cache_->Render(&display_, nullptr);
    EXPECT_EQ(drawn_, (std::vector<std::string>{"c chunk", "d chunk", "b chunk", "a chunk"}));
    // Before every primitive the blend function is set again.
    EXPECT_EQ(std::count(display_.GetRecord().begin(), display_.GetRecord().end(), "blend function 4 5"), 4);
}

TEST_F(AlphaBlendCacheTest, ShortStripBecomesAListWithOddTrianglesReversed)
{
    // The camera looks along +z at each chunk. Five strip indices: three triangles, the farthest first so
    // that sorting keeps the strip's order; the fan's second triangle is the farther one.
    auto strip = Chunk(1, {40, 30, 20, 10, 0}, {0, 1, 2, 3, 4}, 3);
    auto fan = Chunk(2, {0, 10, 20, 30}, {0, 1, 2, 3}, 2);
    auto lines = Chunk(4, {20, 10, 0}, {0, 1, 2}, 2);  // a line strip of two lines
    auto s = Tracer("strip"), f = Tracer("fan"), l = Tracer("lines");
    Add(s.Get(), strip.Get(), 10.0f);
    Add(f.Get(), fan.Get(), 100.0f);
    Add(l.Get(), lines.Get(), 200.0f);
    cache_->Render(&display_, nullptr);
    EXPECT_EQ(drawn_, (std::vector<std::string>{"lines 2 kind 2: 0 1 1 2", "fan 2 kind 4: 0 2 3 0 1 2",
                                                "strip 3 kind 4: 0 1 2 3 2 1 2 3 4"}));
}

TEST_F(AlphaBlendCacheTest, StripsTooShortForATriangleAreDrawnWholeWithoutAList)
{
    for (const std::vector<uint16_t>& indices : {std::vector<uint16_t>{0}, std::vector<uint16_t>{0, 1}})
    {
        auto strip = Chunk(1, {0, 1}, indices, 0);
        auto t = Tracer("short");
        Add(t.Get(), strip.Get(), 1.0f);
        cache_->Render(&display_, nullptr);
    }
    EXPECT_EQ(drawn_, (std::vector<std::string>{"short chunk", "short chunk"}));
    // An index that names no vertex counts as the origin instead of being read.
    auto bad = Chunk(0, {5, 5, 5}, {0, 1, 2}, 1);
    bad->GetIndexArray()[2] = 60000;
    auto b = Tracer("bad");
    Add(b.Get(), bad.Get(), 1.0f);
    cache_->Render(&display_, nullptr);
    EXPECT_EQ(drawn_.back(), "bad 1 kind 4: 0 1 60000");
}

TEST_F(AlphaBlendCacheTest, SortedKeysStayDistancesBesideUnsortedOnes)
{
    // A sorted triangle at 300 units and a strip too short to sort at 300.5 share a bucket: the farther
    // one is still drawn first.
    auto shortStrip = Chunk(1, {0, 1}, {0, 1}, 0);
    auto t = Tracer("triangle"), s = Tracer("short");
    Add(t.Get(), triangle_.Get(), 300.0f);
    Add(s.Get(), shortStrip.Get(), 300.5f);
    cache_->Render(&display_, nullptr);
    EXPECT_EQ(drawn_, (std::vector<std::string>{"short chunk", "triangle 1 kind 4: 0 1 2"}));
    // Not a number goes to the last bucket.
    EXPECT_EQ(VelmarAlphaBlendCache::BucketOf(std::numeric_limits<float>::quiet_NaN()), 199u);
    EXPECT_EQ(VelmarAlphaBlendCache::BucketOf(-5.0f), 0u);
}

TEST_F(AlphaBlendCacheTest, NestedFramesOpenTheirOwnBucketsAndDrawOnlyThem)
{
    auto outer = Tracer("outer"), inner = Tracer("inner");
    cache_->Enter(&display_, nullptr, false);
    Add(outer.Get(), triangle_.Get(), 400.0f);
    for (int i = 0; i < 3; ++i) cache_->Enter(&display_, nullptr, true);
    EXPECT_EQ(cache_->GetBucketCount(), 800u);
    Add(inner.Get(), triangle_.Get(), 400.0f);
    for (int i = 0; i < 3; ++i) cache_->Leave(&display_, nullptr, true);
    EXPECT_EQ(drawn_, std::vector<std::string>{"inner chunk"});
    EXPECT_FALSE(cache_->IsEmpty());  // the outer frame still holds its primitive
    // A Leave without its Enter draws and stays at the outermost frame.
    cache_->Leave(&display_, nullptr, true);
    EXPECT_EQ(drawn_.back(), "outer chunk");
    EXPECT_EQ(cache_->GetFrameBase(), 0u);
    Add(outer.Get(), triangle_.Get(), 400.0f);
    EXPECT_FALSE(cache_->IsEmpty());
    cache_->Reset();
    EXPECT_TRUE(cache_->IsEmpty());
}

TEST_F(AlphaBlendCacheTest, BothCachesPutBackTheStateTheyFound)
{
    AutoReference<AlphaBlendCacheUnsorted> unsorted(new AlphaBlendCacheUnsorted());
    for (RenderingCache* cache :
         {static_cast<RenderingCache*>(cache_.Get()), static_cast<RenderingCache*>(unsorted.Get())})
    {
        display_.SetAlphaBlendFunction(2, 3);
        display_.SetAlphaTestMode(true);
        const DisplayState before = display_.GetState();
        auto t = Tracer("t");
        cache->AddPrimitive(&display_, nullptr, t.Get(), triangle_.Get(), nullptr, At(600.0f));
        display_.ClearRecord();
        cache->Render(&display_, nullptr);
        EXPECT_EQ(display_.GetState(), before);
        const auto& record = display_.GetRecord();
        EXPECT_NE(std::find(record.begin(), record.end(), "depth write off"), record.end());
    }
    // The unsorted one draws in arrival order.
    drawn_.clear();
    auto x = Tracer("x"), y = Tracer("y");
    unsorted->AddPrimitive(&display_, nullptr, x.Get(), triangle_.Get(), nullptr, At(1.0f));
    unsorted->AddPrimitive(&display_, nullptr, y.Get(), triangle_.Get(), nullptr, At(900.0f));
    unsorted->Render(&display_, nullptr);
    EXPECT_EQ(drawn_, (std::vector<std::string>{"x chunk", "y chunk"}));
}

}  // namespace
