#include "engine/Quaternion.h"

#include <cmath>

namespace Orvo {

Matrix3 Quaternion::ToMatrix() const
{
    const float xx = x * x, yy = y * y, zz = z * z;
    const float xy = x * y, xz = x * z, yz = y * z;
    const float wx = w * x, wy = w * y, wz = w * z;
    Matrix3 r;
    r.m[0][0] = 1 - 2 * (yy + zz);
    r.m[0][1] = 2 * (xy + wz);
    r.m[0][2] = 2 * (xz - wy);
    r.m[1][0] = 2 * (xy - wz);
    r.m[1][1] = 1 - 2 * (xx + zz);
    r.m[1][2] = 2 * (yz + wx);
    r.m[2][0] = 2 * (xz + wy);
    r.m[2][1] = 2 * (yz - wx);
    r.m[2][2] = 1 - 2 * (xx + yy);
    return r;
}

void Quaternion::Set(const Matrix3& r)
{
    // The largest of the four diagonal combinations keeps the division well away from zero.
    const float trace = r.m[0][0] + r.m[1][1] + r.m[2][2];
    if (trace > 0.0f)
    {
        const float s = std::sqrt(trace + 1.0f) * 2.0f;
        w = 0.25f * s;
        x = (r.m[1][2] - r.m[2][1]) / s;
        y = (r.m[2][0] - r.m[0][2]) / s;
        z = (r.m[0][1] - r.m[1][0]) / s;
    }
    else if (r.m[0][0] > r.m[1][1] && r.m[0][0] > r.m[2][2])
    {
        const float s = std::sqrt(1.0f + r.m[0][0] - r.m[1][1] - r.m[2][2]) * 2.0f;
        w = (r.m[1][2] - r.m[2][1]) / s;
        x = 0.25f * s;
        y = (r.m[1][0] + r.m[0][1]) / s;
        z = (r.m[2][0] + r.m[0][2]) / s;
    }
    else if (r.m[1][1] > r.m[2][2])
    {
        const float s = std::sqrt(1.0f + r.m[1][1] - r.m[0][0] - r.m[2][2]) * 2.0f;
        w = (r.m[2][0] - r.m[0][2]) / s;
        x = (r.m[1][0] + r.m[0][1]) / s;
        y = 0.25f * s;
        z = (r.m[2][1] + r.m[1][2]) / s;
    }
    else
    {
        const float s = std::sqrt(1.0f + r.m[2][2] - r.m[0][0] - r.m[1][1]) * 2.0f;
        w = (r.m[0][1] - r.m[1][0]) / s;
        x = (r.m[2][0] + r.m[0][2]) / s;
        y = (r.m[2][1] + r.m[1][2]) / s;
        z = 0.25f * s;
    }
    // A matrix that is not quite a rotation still gives a rotation.
    Normalise();
}

void Quaternion::Normalise()
{
    const float l = std::sqrt(x * x + y * y + z * z + w * w);
    if (!(l > 0.0f) || !std::isfinite(l))
    {
        *this = Quaternion();
        return;
    }
    x /= l;
    y /= l;
    z /= l;
    w /= l;
}

}  // namespace Orvo
