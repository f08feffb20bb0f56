#pragma once
// A box with axes of its own: a centre, three unit axes (the rows of a matrix) and the half extent
// along each. Built around a point set, it takes the principal axes of the points, or the world axes
// when those give the smaller box. A default box is all zero.
#include "engine/Matrix3.h"
#include "engine/Ray.h"
#include "engine/Vector.h"

#include <cstddef>

namespace Orvo {

class OrientedBox
{
public:
    OrientedBox() { axes_.m[0][0] = axes_.m[1][1] = axes_.m[2][2] = 0.0f; }

    // From `count` positions, each `stride` bytes after the last (the first three floats are x, y, z).
    // No points gives the zero box.
    void Build(const void* positions, size_t count, size_t stride);

    void SetCenter(const Vector3& c) { centre_ = c; }
    void SetAxis(int i, const Vector3& axis) { axes_.SetRow(i, axis); }
    void SetExtents(const Vector3& e) { extents_ = e; }
    const Vector3& GetCenter() const { return centre_; }
    Vector3 GetAxis(int i) const { return axes_.Row(i); }
    const Vector3& GetExtents() const { return extents_; }
    bool IsZero() const;

    bool Contains(const Vector3& p, float tolerance = 0.0f) const;
    // As Ray::IntersectBox, in the box's own frame.
    bool IntersectRay(const Ray& ray, float maxDistance, float& distance) const;

private:
    Vector3 centre_;
    Matrix3 axes_;
    Vector3 extents_;
};

}  // namespace Orvo
