#include "engine/Ray.h"

#include <cmath>
#include <utility>

namespace Orvo {

bool Ray::IntersectTriangle(const Vector3& a, const Vector3& b, const Vector3& c, bool twoSided, float maxDistance,
                            float& distance) const
{
    // Moeller-Trumbore.
    const Vector3 e1 = b - a;
    const Vector3 e2 = c - a;
    const Vector3 p = direction.Cross(e2);
    const float det = e1.Dot(p);
    const float epsilon = 1e-12f;
    if (twoSided ? std::fabs(det) <= epsilon : det <= epsilon) return false;
    const float inverse = 1.0f / det;
    const Vector3 s = origin - a;
    const float u = s.Dot(p) * inverse;
    if (!(u >= 0.0f && u <= 1.0f)) return false;
    const Vector3 q = s.Cross(e1);
    const float v = direction.Dot(q) * inverse;
    if (!(v >= 0.0f && u + v <= 1.0f)) return false;
    const float t = e2.Dot(q) * inverse;
    if (!(t >= 0.0f && t < maxDistance)) return false;  // behind the origin, too far, or not a number
    distance = t;
    return true;
}

bool Ray::IntersectBox(const AxisBox& box, float maxDistance, float& distance) const
{
    float enter = 0.0f;
    float leave = maxDistance;
    for (int axis = 0; axis < 3; ++axis)
    {
        const float o = origin[axis];
        const float d = direction[axis];
        if (d == 0.0f)
        {
            if (!(o >= box.low[axis] && o <= box.high[axis])) return false;
            continue;
        }
        float t0 = (box.low[axis] - o) / d;
        float t1 = (box.high[axis] - o) / d;
        if (t0 > t1) std::swap(t0, t1);
        if (t0 > enter) enter = t0;
        if (t1 < leave) leave = t1;
        if (!(enter <= leave)) return false;
    }
    distance = enter;
    return true;
}

}  // namespace Orvo
