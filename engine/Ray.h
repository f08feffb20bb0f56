#pragma once
// A ray: an origin and a direction (not necessarily of unit length). Distances are in units of the
// direction's length: the point at distance t is origin + direction * t. A hit is only ever reported at
// t >= 0, never behind the origin.
#include "engine/Bounds.h"
#include "engine/Vector.h"

namespace Orvo {

struct Ray
{
    Vector3 origin;
    Vector3 direction{0.0f, 0.0f, 1.0f};

    Vector3 At(float t) const { return origin + direction * t; }

    // The triangle a, b, c hit at a distance in [0, maxDistance): the distance goes to `distance`.
    // One-sided tests hit only the side from which a, b, c run anticlockwise.
    bool IntersectTriangle(const Vector3& a, const Vector3& b, const Vector3& c, bool twoSided, float maxDistance,
                           float& distance) const;
    // The box entered or contained within [0, maxDistance]; `distance` gets the entry distance (0 when the
    // origin is inside).
    bool IntersectBox(const AxisBox& box, float maxDistance, float& distance) const;
};

}  // namespace Orvo
