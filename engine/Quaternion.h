#pragma once
// A rotation as a quaternion x, y, z, w (the order the mesh files store it). ToMatrix gives the matrix
// whose rows are the rotated axes (see Matrix3); Set is its inverse.
#include "engine/Matrix3.h"

namespace Orvo {

struct Quaternion
{
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    constexpr Quaternion() = default;
    constexpr Quaternion(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    explicit Quaternion(const Matrix3& m) { Set(m); }

    // From a rotation matrix (rows = rotated axes); always of unit length (the identity for a matrix
    // that gives no finite rotation).
    void Set(const Matrix3& m);
    Matrix3 ToMatrix() const;
    // Unit length; a zero quaternion becomes the identity.
    void Normalise();
    constexpr Quaternion Conjugate() const { return {-x, -y, -z, w}; }
    // The rotation `this`, then `o`.
    constexpr Quaternion Then(const Quaternion& o) const
    {
        // o * this in Hamilton product order (this applied first).
        return {o.w * x + o.x * w + o.y * z - o.z * y, o.w * y - o.x * z + o.y * w + o.z * x,
                o.w * z + o.x * y - o.y * x + o.z * w, o.w * w - o.x * x - o.y * y - o.z * z};
    }
    Vector3 Rotate(const Vector3& v) const { return ToMatrix().Transform(v); }
    constexpr bool operator==(const Quaternion&) const = default;
};

}  // namespace Orvo
