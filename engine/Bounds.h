#pragma once
// Axis-aligned boxes and bounding spheres.
#include "engine/Vector.h"

#include <limits>

namespace Orvo {

struct AxisBox
{
    // An empty box: any point added makes it that point.
    Vector3 low{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                std::numeric_limits<float>::max()};
    Vector3 high{-std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                 -std::numeric_limits<float>::max()};

    constexpr AxisBox() = default;
    constexpr AxisBox(const Vector3& lo, const Vector3& hi) : low(lo), high(hi) {}

    bool IsEmpty() const { return !(low.x <= high.x && low.y <= high.y && low.z <= high.z); }
    void Add(const Vector3& p)
    {
        low = Vector3::Min(low, p);
        high = Vector3::Max(high, p);
    }
    Vector3 Centre() const { return (low + high) * 0.5f; }
    Vector3 Size() const { return high - low; }
};

struct Sphere
{
    Vector3 centre;
    float radius = 0.0f;
};

}  // namespace Orvo
