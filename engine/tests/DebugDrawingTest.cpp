// Debug drawing of particles and geometry chunks: what they draw into the published debug viewport, and
// that they draw nothing without one or when it wants nothing.
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

namespace {

std::string Line(const Vector3& from, const Vector3& to, uint32_t colour)
{
    return "line " + DebugRecorder::Text(from) + " " + DebugRecorder::Text(to) + " " + DebugRecorder::Hex(colour);
}

std::vector<std::string> Sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

TEST(DebugDrawing, ParticlesDrawTheirLinkVisibleBoxAndNameInTheRootsFrame)
{
    DebugRecorder recorder;
    PublishedDebugViewport published(&recorder);
    Particle root, child, inner;
    root.SetName(PString("root"));
    root.SetPosition({10, 0, 0});
    child.SetName(PString("child"));
    child.SetPosition({0, 2, 0});
    child.SetBoundingBox(AxisBox({0, 0, 0}, {1, 2, 3}), true);
    inner.SetBoundingBox(AxisBox({0, 0, 0}, {1, 1, 1}));  // a box not meant to be seen; no name
    inner.SetPosition({0, 0, 4});
    root.AddChild(&child);
    child.AddChild(&inner);

    root.RenderDebugTree();

    ASSERT_EQ(recorder.drawn.size(), 1u + 1 + 12 + 1 + 1);
    EXPECT_EQ(recorder.drawn[0], "text root (10 0 0) FFFF00FF");  // the root has no link and an empty box
    EXPECT_EQ(recorder.drawn[1], Line({10, 0, 0}, {10, 2, 0}, kDebugLinkColour));
    // The box's edges join the corners (in the root's frame) that differ in one coordinate.
    std::vector<Vector3> corners;
    for (float x : {10.0f, 11.0f})
        for (float y : {2.0f, 4.0f})
            for (float z : {0.0f, 3.0f}) corners.push_back({x, y, z});
    std::vector<std::string> edges;
    for (const Vector3& a : corners)
        for (const Vector3& b : corners)
            if ((a.x < b.x && a.y == b.y && a.z == b.z) || (a.x == b.x && a.y < b.y && a.z == b.z) ||
                (a.x == b.x && a.y == b.y && a.z < b.z))
                edges.push_back(Line(a, b, kDebugBoxColour));
    ASSERT_EQ(edges.size(), 12u);
    EXPECT_EQ(Sorted({recorder.drawn.begin() + 2, recorder.drawn.begin() + 14}), Sorted(edges));
    EXPECT_EQ(recorder.drawn[14], "text child (10 2 0) FFFF00FF");
    EXPECT_EQ(recorder.drawn[15], Line({10, 2, 0}, {10, 2, 4}, kDebugLinkColour));

    // One particle alone draws only itself.
    recorder.drawn.clear();
    inner.RenderDebug();
    EXPECT_EQ(recorder.drawn, std::vector<std::string>{Line({10, 2, 0}, {10, 2, 4}, kDebugLinkColour)});
}

TEST(DebugDrawing, NothingIsDrawnWithoutAViewportOrWhenItWantsNothing)
{
    Particle root, child;
    child.SetName(PString("child"));
    child.SetBoundingBox(AxisBox({0, 0, 0}, {1, 1, 1}), true);
    root.AddChild(&child);
    AutoReference<GeometryChunk> chunk(
        new GeometryChunkTemplate<PackedVertexPCT>(GeometryChunk::PrimitiveList, 3, 1, 3, 1));

    DebugRecorder recorder;
    recorder.enabled = false;
    {
        PublishedDebugViewport published(&recorder);
        root.RenderDebugTree();
        chunk->RenderDebug(Matrix4());
    }
    EXPECT_TRUE(recorder.drawn.empty());
    PublishedDebugViewport none(nullptr);
    root.RenderDebugTree();
    chunk->RenderDebug(Matrix4());
    EXPECT_EQ(GetDebugViewport(), nullptr);
}

namespace {

using PCT = GeometryChunkTemplate<PackedVertexPCT>;
const Vector3 kSquare[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

// A chunk of the square's four corners with these primitive bits and indices.
AutoReference<GeometryChunk> Square(uint32_t primitiveBits, const std::vector<uint16_t>& indices)
{
    auto* chunk = new PCT(primitiveBits, 4, 1, uint32_t(indices.size()), 0);
    for (int i = 0; i < 4; ++i)
    {
        chunk->GetVertices()[i].position[0] = kSquare[i].x;
        chunk->GetVertices()[i].position[1] = kSquare[i].y;
        chunk->GetVertices()[i].position[2] = kSquare[i].z;
    }
    if (!indices.empty()) std::copy(indices.begin(), indices.end(), chunk->GetIndexArray());
    return AutoReference<GeometryChunk>(chunk);
}

// The edges between corners, moved 5 along x as the test's matrix moves them.
std::vector<std::string> Edges(const std::vector<std::pair<int, int>>& pairs)
{
    std::vector<std::string> lines;
    for (auto [a, b] : pairs)
        lines.push_back(Line(kSquare[a] + Vector3(5, 0, 0), kSquare[b] + Vector3(5, 0, 0), kDebugEdgeColour));
    return lines;
}

}  // namespace

TEST(DebugDrawing, ChunksDrawTheEdgesOfTheirPrimitivesCarriedByTheMatrix)
{
    using C = GeometryChunk;
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
        DebugRecorder recorder;
        PublishedDebugViewport published(&recorder);
        Square(c.bits, c.indices)->RenderDebug(moved);
        EXPECT_EQ(recorder.drawn, Edges(c.edges)) << c.what;
    }
}
