// The point map, the step arrays, the colour and vector helpers, the load result names and the debug
// viewport's lines.
#include "render/ColourVector.h"
#include "render/MeshLoadResult.h"
#include "render/PointMap.h"
#include "render/StepArray.h"
#include "render/VLDebugVp.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Orvo;

namespace {
using Map = VLMapKDTree<int, float, 3, 4000>;

std::vector<int> Found(Map& map, float x, float y, float z)
{
    StepArray<int> results;
    const float key[3] = {x, y, z};
    map.Find(key, results);
    return std::vector<int>(results.Data(), results.Data() + results.Count());
}

void Insert(Map& map, float x, float y, float z, int value)
{
    const float key[3] = {x, y, z};
    map.Insert(key, value);
}
}  // namespace

TEST(PointMap, DuplicatesZeroesAndNotANumber)
{
    Map map;
    Insert(map, 1, 2, 3, 10);
    Insert(map, 1, 2, 3, 20);
    Insert(map, -0.0f, 0, 0, 30);
    Insert(map, NAN, 0, 0, 40);
    EXPECT_EQ(Found(map, 1, 2, 3), (std::vector<int>{10, 20}));  // the older first, in the tail
    EXPECT_EQ(Found(map, 0.0f, 0, 0), std::vector<int>{30});
    EXPECT_TRUE(Found(map, NAN, 0, 0).empty());
    EXPECT_TRUE(Found(map, 1, 2, 4).empty());
    EXPECT_EQ(map.BuiltCount(), 0u);  // four inserts: no rebuild yet
}

TEST(PointMap, RebuildAtTheFirstQueryAfterTheEleventhInsert)
{
    Map map;
    for (int i = 0; i < 10; ++i) Insert(map, float(i), 0, 0, i);
    Found(map, 0, 0, 0);
    EXPECT_EQ(map.BuiltCount(), 0u);
    Insert(map, 10, 0, 0, 10);
    EXPECT_EQ(map.BuiltCount(), 0u);  // inserting does not rebuild while rebuilding waits for queries
    Found(map, 0, 0, 0);
    EXPECT_EQ(map.BuiltCount(), 11u);
    EXPECT_EQ(map.InsertsSinceBuild(), 0u);
}

TEST(PointMap, FindsEveryPointOfAGridInTreeAndTail)
{
    Map map;
    int value = 0;
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 20; ++y)
            for (int z = 0; z < 5; ++z) Insert(map, float(x), float(y) * 0.5f, float(z), value++);
    Insert(map, 3, 1.5f, 2, 9999);  // a duplicate of a grid point
    map.Rebuild();
    Insert(map, 3, 1.5f, 2, 10000);  // and another in the tail
    for (int x = 0; x < 20; x += 3)
        for (int y = 0; y < 20; y += 7)
            for (int z = 0; z < 5; ++z)
            {
                const auto found = Found(map, float(x), float(y) * 0.5f, float(z));
                const int expected = (x * 20 + y) * 5 + z;
                if (x == 3 && y == 3 && z == 2)
                    EXPECT_EQ(found.size(), 3u);
                else
                    EXPECT_EQ(found, std::vector<int>{expected});
            }
}

TEST(StepArray, EraseZeroedGrowthAppendAndRelease)
{
    StepArray<int> small;
    small.PushBack(7);
    StepArray<int> stepped(10);
    stepped.SetSize(50);
    for (int i = 0; i < 5; ++i) stepped[size_t(i)] = i;
    stepped.EraseAt(1);
    EXPECT_EQ(stepped.Count(), 49u);
    EXPECT_EQ(stepped[1], 2);
    EXPECT_EQ(stepped[48], 0);  // new elements are zeroed
    stepped.SetSize(2);
    stepped.Append(small);
    EXPECT_EQ(stepped[2], 7);
    stepped.SetSize(0);
    stepped.ShrinkToFit();
    EXPECT_EQ(stepped.Data(), nullptr);
}

TEST(MeshHelpers, ColoursVectorsAndResultsOutOfRange)
{
    EXPECT_EQ(ScaleColour(Color(0.5f, 1, 2, 1), 0.0f), Color(0, 0, 0, 0));
    EXPECT_EQ(ScaleColour(Color(0.5f, 1, 2, 1), 2.0f), Color(1, 2, 4, 2));
    EXPECT_NEAR(VectorLength(Vector3(3, 4, 0)), 5.0f, 1e-5f);
    EXPECT_EQ(VectorLength(Vector3()), 0.0f);
    for (float s : {1e-6f, 0.3f, 1.0f, 7.0f, 12345.0f, 1e10f})
        EXPECT_NEAR(VectorLength(Vector3(s, 0, 0)), s, s * 1e-5f) << s;
    EXPECT_STREQ(MeshLoadResultName(-1), "");  // out of range: no read past the table
    EXPECT_STREQ(MeshLoadResultText(10), "");
}

TEST(DebugViewport, ALineIsTwoPointsOfOnePrimitive)
{
    struct Seen : VLDebugVp
    {
        void DrawPrimitives(uint32_t kind, const float* points, uint32_t flags, uint32_t count, uint32_t stride,
                            uint32_t colour) override
        {
            got = {float(kind), float(flags), float(count), float(stride), float(colour & 0xFF)};
            got.insert(got.end(), points, points + 6);
        }
        std::vector<float> got;
    } viewport;
    viewport.DrawLine({1, 2, 3}, {4, 5, 6}, 0xFF000007u);
    EXPECT_EQ(viewport.got, (std::vector<float>{0, float(0x10000), 2, 2, 7, 1, 2, 3, 4, 5, 6}));
}
