// The axis box tree built and queried directly: leaves, rejections, the split rule, and queries that
// agree with testing every triangle.
#include "render/VLAxisBoxTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using namespace Orvo;

namespace {

// Triangles kept in a list; an id names its place: (chunk << 16) | (number x 3).
struct Soup : VLAxisBoxTreeExternalGeometry
{
    struct Triangle
    {
        Vector3 a, b, c;
        uint32_t id;
    };
    std::vector<Triangle> triangles;

    void Add(const Vector3& a, const Vector3& b, const Vector3& c, uint32_t chunk = 0)
    {
        const uint32_t number = uint32_t(triangles.size());
        triangles.push_back({a, b, c, (chunk << 16) | (number * 3)});
    }
    bool GetTriangle(uint32_t id, Vector3& a, Vector3& b, Vector3& c) const override
    {
        for (const Triangle& t : triangles)
            if (t.id == id)
            {
                a = t.a;
                b = t.b;
                c = t.c;
                return true;
            }
        return false;
    }
    bool Build(VLAxisBoxTree& tree) const
    {
        tree.BeginBuild(this);
        for (const Triangle& t : triangles)
        {
            const float f[9] = {t.a.x, t.a.y, t.a.z, t.b.x, t.b.y, t.b.z, t.c.x, t.c.y, t.c.z};
            tree.AddTriangle(f, t.id);
        }
        return tree.FinishBuild();
    }
};

// The sizes of the leaves, in node order.
std::vector<int32_t> LeafSizes(const VLAxisBoxTree& tree)
{
    std::vector<int32_t> sizes;
    for (const VLAxisBoxTree::Node& n : tree.GetNodes())
        if (n.first < 0) sizes.push_back(n.second);
    return sizes;
}

// The segment against one triangle, as the tree's leaves test it; the parameter, or -1.
float SegmentHit(const Soup::Triangle& t, const Vector3& p0, const Vector3& p1)
{
    const Vector3 n = (t.b - t.a).Cross(t.c - t.a);
    const float d = n.Dot(t.a), d0 = n.Dot(p0), d1 = n.Dot(p1);
    if (!((d0 >= d || d1 >= d) && (d0 <= d || d1 <= d)) || d0 == d1) return -1;
    const float s = (d0 - d) / (d0 - d1);
    const Vector3 p = p0 + (p1 - p0) * s;
    const Vector3* e[3][2] = {{&t.c, &t.a}, {&t.a, &t.b}, {&t.b, &t.c}};
    for (const auto& edge : e)
        if ((*edge[1] - *edge[0]).Cross(p - *edge[0]).Dot(n) < -1e-6f) return -1;
    return s;
}

}  // namespace

TEST(AxisBoxTree, OneTriangleIsOneLeafAndIsHit)
{
    Soup soup;
    soup.Add({0, 0, 0}, {2, 0, 0}, {0, 2, 0}, 3);
    VLAxisBoxTree tree;
    ASSERT_TRUE(soup.Build(tree));
    ASSERT_EQ(tree.GetNodes().size(), 1u);
    EXPECT_EQ(tree.GetNodes()[0].first, -1);
    EXPECT_EQ(tree.GetNodes()[0].second, 1);
    EXPECT_EQ(tree.GetLeafReferenceId(0), 3u << 16);

    VLSegmentHit hit;
    ASSERT_TRUE(tree.IntersectSegment({0.5f, 0.5f, 4}, {0.5f, 0.5f, -4}, hit));
    EXPECT_FLOAT_EQ(hit.t, 0.5f);
    EXPECT_EQ(hit.point, Vector3(0.5f, 0.5f, 0));
    EXPECT_EQ(hit.normal, Vector3(0, 0, 1));
    EXPECT_EQ(hit.id, 3u << 16);
    EXPECT_FALSE(tree.IntersectSegment({1.5f, 1.5f, 4}, {1.5f, 1.5f, -4}, hit));  // beside it
    EXPECT_FALSE(tree.IntersectSegment({0.5f, 0.5f, 4}, {0.5f, 0.5f, 1}, hit));   // short of it
    EXPECT_EQ(hit.t, -1.0f);
}

TEST(AxisBoxTree, RejectedTrianglesAreCounted)
{
    Soup soup;
    soup.Add({0, 0, 0}, {1, 0, 0}, {0, 1, 0});       // kept
    soup.Add({0, 0, 0}, {1, 1, 1}, {2, 2, 2});       // corners on one line
    soup.Add({1, 1, 1}, {1, 1, 1}, {1, 1, 1});       // one point
    soup.Add({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 512);  // chunk number out of range
    soup.Add({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 511);  // the last chunk number is kept
    soup.Add({NAN, 0, 0}, {1, 0, 0}, {0, 1, 0});     // not a number
    VLAxisBoxTree tree;
    ASSERT_TRUE(soup.Build(tree));
    EXPECT_EQ(tree.GetRejectedCount(), 4u);
    EXPECT_EQ(tree.GetLeafReferenceCount(), 2u);
    EXPECT_EQ(tree.GetLeafReferenceId(1), (511u << 16) | (4 * 3));

    // Nothing valid, or nothing at all: no tree.
    Soup bad;
    bad.Add({0, 0, 0}, {1, 1, 1}, {2, 2, 2});
    EXPECT_FALSE(bad.Build(tree));
    EXPECT_TRUE(tree.GetNodes().empty());
    VLSegmentHit hit;
    EXPECT_FALSE(tree.IntersectSegment({0, 0, 1}, {0, 0, -1}, hit));
    EXPECT_FALSE(Soup().Build(tree));
}

TEST(AxisBoxTree, SplitsKeepEvenHalves)
{
    const struct
    {
        int triangles;
        std::vector<int32_t> leaves;
    } cases[] = {
        {64, {64}}, {65, {32, 33}}, {130, {64, 32, 34}},  // 65 and 65 become 64 and 66; 66 becomes 32 and 34
    };
    for (const auto& c : cases)
    {
        Soup soup;
        for (int i = 0; i < c.triangles; ++i) soup.Add({float(i), 0, 0}, {float(i) + 0.5f, 0, 0}, {float(i), 0.5f, 0});
        VLAxisBoxTree tree;
        ASSERT_TRUE(soup.Build(tree));
        EXPECT_EQ(LeafSizes(tree), c.leaves) << c.triangles;
    }
}

TEST(AxisBoxTree, EveryTriangleStandsInOneLeafWithinItsBox)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> at(-80.0f, 80.0f), size(-2.0f, 2.0f);
    Soup soup;
    for (int i = 0; i < 2500; ++i)
    {
        // Some triangles share their centre with others, so that the median splits meet ties.
        const Vector3 a = i % 5 == 0 ? Vector3(float(i % 7), 0, 0) : Vector3(at(random), at(random), at(random));
        soup.Add(a, a + Vector3(1, size(random), 0), a + Vector3(0, 1, size(random)), uint32_t(i / 1000));
    }
    VLAxisBoxTree tree;
    ASSERT_TRUE(soup.Build(tree));
    std::vector<int> seen(soup.triangles.size(), 0);
    size_t nextRef = 0;
    for (const VLAxisBoxTree::Node& n : tree.GetNodes())
    {
        if (n.first >= 0) continue;
        // The leaves' references follow each other in node order.
        EXPECT_EQ(size_t(-1 - n.first), nextRef);
        Vector3 centre, half;
        tree.GetNodeBox(n, centre, half);
        for (int32_t r = 0; r < n.second; ++r)
        {
            const uint32_t id = tree.GetLeafReferenceId(nextRef + size_t(r));
            const uint32_t number = (id & 0xFFFFu) / 3;
            ASSERT_LT(number, seen.size());
            ++seen[number];
            const Soup::Triangle& t = soup.triangles[number];
            for (const Vector3* p : {&t.a, &t.b, &t.c})
                for (int k = 0; k < 3; ++k) EXPECT_LE(std::fabs((*p)[k] - centre[k]), half[k] * 1.001f + 1e-3f);
        }
        nextRef += size_t(n.second);
    }
    EXPECT_EQ(nextRef, tree.GetLeafReferenceCount());
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), long(seen.size()));
}

TEST(AxisBoxTree, QueriesAgreeWithEveryTriangleTested)
{
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> at(-50.0f, 50.0f), size(-3.0f, 3.0f);
    Soup soup;
    for (int i = 0; i < 3000; ++i)
    {
        const Vector3 a(at(random), at(random), at(random));
        soup.Add(a, a + Vector3(size(random), size(random), size(random)),
                 a + Vector3(size(random), size(random), size(random)), uint32_t(i / 2000));
    }
    VLAxisBoxTree tree;
    ASSERT_TRUE(soup.Build(tree));
    EXPECT_GT(tree.GetDeepestLevel(), 3u);
    int hits = 0;
    for (int q = 0; q < 400; ++q)
    {
        const Vector3 p0(at(random), at(random), at(random)), p1(at(random), at(random), at(random));
        float best = 2.0f;
        for (const Soup::Triangle& t : soup.triangles)
            if (const float s = SegmentHit(t, p0, p1); s >= 0 && s < best) best = s;
        VLSegmentHit hit;
        const bool found = tree.IntersectSegment(p0, p1, hit);
        ASSERT_EQ(found, best <= 1.0f) << q;
        if (!found) continue;
        ++hits;
        EXPECT_NEAR(hit.t, best, 1e-4f) << q;
        EXPECT_NEAR(hit.normal.Length(), 1.0f, 1e-5f);
    }
    EXPECT_GT(hits, 20);
}
