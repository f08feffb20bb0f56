// Vectors, quaternions, rays, boxes, the table-driven square root, the scene tree and the LOD selector.
#include "engine/Bounds.h"
#include "engine/ObjectLOD.h"
#include "engine/OrientedBox.h"
#include "engine/Particle.h"
#include "engine/Plane.h"
#include "engine/Quaternion.h"
#include "engine/Ray.h"
#include "engine/StdMath.h"
#include "engine/ViewPoint.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Orvo;

namespace {
void ExpectNear(const Vector3& a, const Vector3& b, float tolerance = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}
}  // namespace

TEST(GeometryMath, QuaternionsAndMatricesRoundTrip)
{
    // A quarter turn about z takes the x axis to the y axis; row 0 of its matrix is where x goes.
    const float h = std::sqrt(0.5f);
    const Quaternion quarter(0, 0, h, h);
    ExpectNear(quarter.Rotate(Vector3(1, 0, 0)), Vector3(0, 1, 0));
    ExpectNear(quarter.ToMatrix().Row(0), Vector3(0, 1, 0));
    for (const Quaternion& q : {quarter, Quaternion(0.5f, 0.5f, 0.5f, 0.5f), Quaternion(1, 0, 0, 0), Quaternion()})
    {
        const Quaternion back(q.ToMatrix());
        const float sign = back.w * q.w + back.x * q.x + back.y * q.y + back.z * q.z < 0 ? -1.0f : 1.0f;
        EXPECT_NEAR(back.x * sign, q.x, 1e-5f);
        EXPECT_NEAR(back.w * sign, q.w, 1e-5f);
    }
    // Two quarter turns, one after the other, make a half turn.
    ExpectNear(quarter.Then(quarter).Rotate(Vector3(1, 0, 0)), Vector3(-1, 0, 0));
    Matrix3 bad;
    bad.m[0][0] = NAN;
    EXPECT_EQ(Quaternion(bad), Quaternion());
}

TEST(GeometryMath, RaysNeverHitBehindTheirOrigin)
{
    const Vector3 a(0, 0, 5), b(1, 0, 5), c(0, 1, 5);
    Ray ray;
    ray.origin = Vector3(0.2f, 0.2f, 0);
    float t = -1;
    ASSERT_TRUE(ray.IntersectTriangle(a, b, c, true, 100, t));
    EXPECT_NEAR(t, 5.0f, 1e-6f);
    EXPECT_FALSE(ray.IntersectTriangle(a, b, c, true, 5.0f, t));  // exactly at the limit
    EXPECT_FALSE(ray.IntersectTriangle(a, b, c, false, 100, t));  // one-sided, seen from behind
    EXPECT_TRUE(ray.IntersectTriangle(a, c, b, false, 100, t));   // and from the front
    ray.origin = Vector3(0.2f, 0.2f, 10);                         // the triangle is behind
    EXPECT_FALSE(ray.IntersectTriangle(a, b, c, true, 100, t));
    ray.origin = Vector3(2, 2, 0);
    EXPECT_FALSE(ray.IntersectTriangle(a, b, c, true, 100, t));  // beside it
    ray.origin = Vector3(0.5f, 0.5f, 10);
    EXPECT_FALSE(ray.IntersectBox(AxisBox(Vector3(0, 0, 0), Vector3(1, 1, 1)), 100, t));
    ray.origin = Vector3(0.5f, 0.5f, 0.5f);
    ASSERT_TRUE(ray.IntersectBox(AxisBox(Vector3(0, 0, 0), Vector3(1, 1, 1)), 100, t));
    EXPECT_EQ(t, 0.0f);  // inside
    Plane plane;
    ASSERT_TRUE(plane.Set(a, b, c));
    EXPECT_NEAR(plane.SignedDistance(Vector3(0, 0, 7)), 2.0f, 1e-6f);
    EXPECT_FALSE(plane.Set(a, a, b));
}

TEST(GeometryMath, OrientedBoxesFitTheirPoints)
{
    // Points along a diagonal rod: the box along the rod is far smaller than the axis-aligned one.
    std::vector<Vector3> rod;
    for (int i = 0; i <= 10; ++i)
    {
        rod.emplace_back(float(i), float(i), 0.0f);
        rod.emplace_back(float(i) + 0.1f, float(i) - 0.1f, 0.0f);
    }
    OrientedBox box;
    box.Build(rod.data(), rod.size(), sizeof(Vector3));
    for (const Vector3& p : rod) EXPECT_TRUE(box.Contains(p, 1e-4f));
    const Vector3 e = box.GetExtents();
    EXPECT_LT(e.x * e.y, 1.0f);
    Ray ray;
    ray.origin = Vector3(5.05f, 4.95f, -10);
    float t = 0;
    EXPECT_TRUE(box.IntersectRay(ray, 100, t));
    ray.origin = Vector3(0, 10, -10);
    EXPECT_FALSE(box.IntersectRay(ray, 100, t));
    OrientedBox none;
    none.Build(nullptr, 0, 12);
    EXPECT_TRUE(none.IsZero());
}

TEST(GeometryMath, TableSquareRoot)
{
    for (float s : {1e-20f, 0.01f, 0.5f, 1.0f, 2.0f, 3.0f, 1000.0f, 1e20f})
    {
        EXPECT_NEAR(StdMath::InvSqrtEstimate(s) * std::sqrt(s), 1.0f, 0.01f) << s;
        EXPECT_NEAR(StdMath::InvSqrt(s) * std::sqrt(s), 1.0f, 1e-6f) << s;
    }
}

TEST(SceneTree, NamesFramesCopiesAndDeletion)
{
    auto* root = new ParticleBone();
    root->SetName(PString("root"));
    root->SetFramePosition(Vector3(1, 0, 0));
    auto* arm = new ParticleBone();
    arm->SetName(PString("arm"));
    arm->SetFramePosition(Vector3(0, 2, 0));
    root->AddChild(arm);
    root->AddChild(root);  // refused
    arm->AddChild(root);   // a cycle: refused
    EXPECT_EQ(root->GetParent(), nullptr);
    EXPECT_EQ(root->FindByName(PString("arm")), arm);
    EXPECT_EQ(root->FindByName(PString("leg")), nullptr);
    ExpectNear(arm->GetGlobal().position, Vector3(1, 2, 0));
    Vector3 p(1, 2, 3);
    Quaternion q;
    arm->GlobalToLocal(p, q);
    ExpectNear(p, Vector3(0, 0, 3));

    Particle* copy = root->CreateInstance();
    ASSERT_NE(copy, nullptr);
    auto* copiedArm = dynamic_cast<ParticleBone*>(copy->FindByName(PString("arm")));
    ASSERT_NE(copiedArm, nullptr);
    EXPECT_NE(copiedArm, arm);
    ExpectNear(copiedArm->GetFrame().position, Vector3(0, 2, 0));
    Particle::DeleteTree(copy);
    Particle::DeleteTree(root);

    PString first, second;
    ReferencePoint::GetSubNames(PString("a.light#red"), first, second);
    EXPECT_EQ(first, "a.light");
    EXPECT_EQ(second, "red");
}

TEST(SceneTree, LODSelectorMeasuresAndPicks)
{
    ObjectLOD lod;
    ASSERT_TRUE(lod.Init({0.0f, 100.0f, 250.0f}, ObjectLOD::Near));
    lod.SetMultiplier(2.0f);
    lod.SetOffset(5.0f);
    Camera camera;
    const Sphere sphere{Vector3(0, 0, 60), 10.0f};
    EXPECT_FLOAT_EQ(lod.FindLOD(sphere, &camera), (60.0f - 10.0f) * 2.0f + 5.0f);
    EXPECT_EQ(lod.FindLODIndex(lod.GetCurrentMeasure()), 1u);
    EXPECT_EQ(lod.FindLODIndex(250.0f), 2u);
    EXPECT_EQ(lod.FindLODIndex(-3.0f), 0u);
    EXPECT_EQ(lod.FindLODIndex(NAN), 0u);
    ViewPort port;
    port.frame = 7;
    ViewPoint view(port);
    Particle scene;
    scene.Cull(view, Matrix4());
    EXPECT_EQ(scene.GetLastCulledFrame(), 7u);
}
