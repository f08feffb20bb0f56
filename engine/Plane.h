#pragma once
// A plane: the points p with normal . p = distance.
#include "engine/Vector.h"

namespace Orvo {

struct Plane
{
    Vector3 normal{0.0f, 0.0f, 1.0f};
    float distance = 0.0f;

    // Through three points, facing the side from which they run anticlockwise; false (plane unchanged)
    // when they lie on one line.
    bool Set(const Vector3& a, const Vector3& b, const Vector3& c)
    {
        const Vector3 n = (b - a).Cross(c - a);
        const float l = n.Length();
        if (!(l > 0.0f)) return false;
        normal = n * (1.0f / l);
        distance = normal.Dot(a);
        return true;
    }
    // Signed distance of a point: positive on the side the normal faces.
    float SignedDistance(const Vector3& p) const { return normal.Dot(p) - distance; }
};

}  // namespace Orvo
