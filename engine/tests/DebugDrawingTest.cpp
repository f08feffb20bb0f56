// Debug drawing of particles and geometry chunks into the published debug viewport.
#include "engine/DebugViewport.h"
#include "engine/GeometryChunk.h"
#include "engine/Matrix3.h"
#include "engine/Particle.h"
#include "engine/tests/DebugRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace Orvo;

TEST(DebugDrawing, ParticlesDrawTheirLinkVisibleBoxAndNameInTheRootsFrameWhenAViewportWantsThem)
{
    DebugRecorder recorder;
    PublishedDebugViewport published(&recorder);
    Particle root, child, inner;
    root.SetName(PString("root"));
    root.SetPosition({10, 0, 0});
    child.SetName(PString("child"));
    child.SetPosition({0, 2, 0});
    child.SetBoundingBox(AxisBox({0, 0, 0}, {1, 2, 3}), true);
    inner.SetBoundingBox(AxisBox({0, 0, 0}, {1, 1, 1}));  // not meant to be seen; no name
    inner.SetPosition({0, 0, 4});
    root.AddChild(&child);
    child.AddChild(&inner);

    root.RenderDebugTree();
    ASSERT_EQ(recorder.drawn.size(), 16u);
    EXPECT_EQ(recorder.drawn[0], "text root (10 0 0) FFFF00FF");  // no parent, an empty box
    EXPECT_EQ(recorder.drawn[1], DebugRecorder::Line({10, 0, 0}, {10, 2, 0}, kDebugLinkColour));
    // The box's twelve edges join the corners, in the root's frame, that differ in one coordinate.
    std::vector<std::string> edges;
    for (float x : {10.0f, 11.0f})
        for (float y : {2.0f, 4.0f})
            for (float z : {0.0f, 3.0f})
            {
                if (x == 10) edges.push_back(DebugRecorder::Line({x, y, z}, {11, y, z}, kDebugBoxColour));
                if (y == 2) edges.push_back(DebugRecorder::Line({x, y, z}, {x, 4, z}, kDebugBoxColour));
                if (z == 0) edges.push_back(DebugRecorder::Line({x, y, z}, {x, y, 3}, kDebugBoxColour));
            }
    std::vector<std::string> box(recorder.drawn.begin() + 2, recorder.drawn.begin() + 14);
    std::sort(box.begin(), box.end());
    std::sort(edges.begin(), edges.end());
    EXPECT_EQ(box, edges);
    EXPECT_EQ(recorder.drawn[14], "text child (10 2 0) FFFF00FF");
    EXPECT_EQ(recorder.drawn[15], DebugRecorder::Line({10, 2, 0}, {10, 2, 4}, kDebugLinkColour));

    recorder.drawn.clear();
    recorder.enabled = false;
    root.RenderDebugTree();
    EXPECT_TRUE(recorder.drawn.empty());
    PublishedDebugViewport none(nullptr);
    root.RenderDebugTree();  // nothing to draw into
}

TEST(DebugDrawing, ChunksDrawTheEdgesOfTheirPrimitivesCarriedByTheMatrix)
{
    using C = GeometryChunk;
    const Vector3 square[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const struct
    {
        const char* what;
        uint32_t bits;
        std::vector<uint16_t> indices;
        std::vector<std::pair<int, int>> edges;
    } cases[] = {
        {"list", C::PrimitiveList, {0, 1, 2, 0, 2, 3}, {{0, 1}, {1, 2}, {2, 0}, {0, 2}, {2, 3}, {3, 0}}},
        {"strip", C::PrimitiveStrip, {0, 1, 3, 2}, {{0, 1}, {1, 3}, {3, 0}, {1, 3}, {3, 2}, {2, 1}}},
        {"fan", C::PrimitiveFan, {0, 1, 2, 3}, {{0, 1}, {1, 2}, {2, 0}, {0, 2}, {2, 3}, {3, 0}}},
        // A triangle naming a vertex the chunk lacks is left out; the others are drawn.
        {"list past the vertices", C::PrimitiveList, {0, 9, 2, 0, 2, 3}, {{0, 2}, {2, 3}, {3, 0}}},
        // Without indices the vertices are taken in order; a last incomplete triangle is not drawn.
        {"list without indices", C::PrimitiveList, {}, {{0, 1}, {1, 2}, {2, 0}}},
        {"line list", 1, {0, 1, 2, 3, 3}, {{0, 1}, {2, 3}}},
        {"line strip", 2, {3, 0, 1}, {{3, 0}, {0, 1}}},
        {"points", 0, {0, 1, 2}, {}},
    };
    Matrix4 moved;
    moved.m[3][0] = 5.0f;
    for (const auto& c : cases)
    {
        AutoReference<GeometryChunkTemplate<PackedVertexPCT>> chunk(
            new GeometryChunkTemplate<PackedVertexPCT>(c.bits, 4, 1, uint32_t(c.indices.size()), 0));
        for (int i = 0; i < 4; ++i)
        {
            float* p = chunk->GetVertices()[i].position;
            p[0] = square[i].x, p[1] = square[i].y, p[2] = square[i].z;
        }
        std::copy(c.indices.begin(), c.indices.end(), chunk->GetIndexArray());
        std::vector<std::string> expected;
        for (auto [a, b] : c.edges)
            expected.push_back(
                DebugRecorder::Line(square[a] + Vector3(5, 0, 0), square[b] + Vector3(5, 0, 0), kDebugEdgeColour));
        DebugRecorder recorder;
        PublishedDebugViewport published(&recorder);
        chunk->RenderDebug(moved);
        EXPECT_EQ(recorder.drawn, expected) << c.what;
    }
}
