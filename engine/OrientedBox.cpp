#include "engine/OrientedBox.h"

#include "engine/Bounds.h"

#include <cmath>
#include <cstring>

namespace Orvo {
namespace {

Vector3 PointAt(const void* positions, size_t i, size_t stride)
{
    Vector3 p;
    std::memcpy(&p, static_cast<const unsigned char*>(positions) + i * stride, sizeof p);
    return p;
}

// Eigenvectors of a symmetric 3 x 3 matrix by Jacobi rotations; they come back as the rows of `v`.
void Eigenvectors(double a[3][3], Matrix3& v)
{
    double e[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int sweep = 0; sweep < 32; ++sweep)
    {
        const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        if (off < 1e-30) break;
        for (int p = 0; p < 2; ++p)
            for (int q = p + 1; q < 3; ++q)
            {
                if (std::fabs(a[p][q]) < 1e-30) continue;
                const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                for (int k = 0; k < 3; ++k)
                {
                    const double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 3; ++k)
                {
                    const double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 3; ++k)
                {
                    const double ekp = e[k][p], ekq = e[k][q];
                    e[k][p] = c * ekp - s * ekq;
                    e[k][q] = s * ekp + c * ekq;
                }
            }
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) v.m[r][c] = static_cast<float>(e[c][r]);
}

// The box around the points along the given unit axes; returns its surface measure (the sum of the face
// areas, which unlike the volume still tells flat boxes apart).
double Fit(const void* positions, size_t count, size_t stride, const Matrix3& axes, Vector3& centre, Vector3& extents)
{
    Vector3 low, high;
    for (size_t i = 0; i < count; ++i)
    {
        const Vector3 p = PointAt(positions, i, stride);
        const Vector3 local(p.Dot(axes.Row(0)), p.Dot(axes.Row(1)), p.Dot(axes.Row(2)));
        low = i == 0 ? local : Vector3::Min(low, local);
        high = i == 0 ? local : Vector3::Max(high, local);
    }
    const Vector3 mid = (low + high) * 0.5f;
    extents = (high - low) * 0.5f;
    centre = axes.Row(0) * mid.x + axes.Row(1) * mid.y + axes.Row(2) * mid.z;
    return double(extents.x) * extents.y + double(extents.y) * extents.z + double(extents.z) * extents.x;
}

}  // namespace

void OrientedBox::Build(const void* positions, size_t count, size_t stride)
{
    *this = OrientedBox();
    if (positions == nullptr || count == 0) return;

    double mean[3] = {0, 0, 0};
    for (size_t i = 0; i < count; ++i)
    {
        const Vector3 p = PointAt(positions, i, stride);
        mean[0] += p.x;
        mean[1] += p.y;
        mean[2] += p.z;
    }
    for (double& m : mean) m /= double(count);
    double cov[3][3] = {};
    for (size_t i = 0; i < count; ++i)
    {
        const Vector3 p = PointAt(positions, i, stride);
        const double d[3] = {p.x - mean[0], p.y - mean[1], p.z - mean[2]};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) cov[r][c] += d[r] * d[c];
    }
    Matrix3 principal;
    Eigenvectors(cov, principal);
    // A right-handed set of axes.
    principal.SetRow(2, principal.Row(0).Cross(principal.Row(1)).Normalised());

    Vector3 c1, e1, c2, e2;
    const double v1 = Fit(positions, count, stride, principal, c1, e1);
    const double v2 = Fit(positions, count, stride, Matrix3::Identity(), c2, e2);
    const bool usePrincipal = std::isfinite(v1) && v1 < v2 * 0.999;
    axes_ = usePrincipal ? principal : Matrix3::Identity();
    centre_ = usePrincipal ? c1 : c2;
    extents_ = usePrincipal ? e1 : e2;
}

bool OrientedBox::IsZero() const
{
    return centre_ == Vector3() && extents_ == Vector3() && axes_.Row(0) == Vector3() && axes_.Row(1) == Vector3() &&
           axes_.Row(2) == Vector3();
}

bool OrientedBox::Contains(const Vector3& p, float tolerance) const
{
    const Vector3 d = p - centre_;
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(d.Dot(axes_.Row(i))) <= extents_[i] + tolerance)) return false;
    return true;
}

bool OrientedBox::IntersectRay(const Ray& ray, float maxDistance, float& distance) const
{
    const Vector3 o = ray.origin - centre_;
    Ray local;
    local.origin = Vector3(o.Dot(axes_.Row(0)), o.Dot(axes_.Row(1)), o.Dot(axes_.Row(2)));
    local.direction =
        Vector3(ray.direction.Dot(axes_.Row(0)), ray.direction.Dot(axes_.Row(1)), ray.direction.Dot(axes_.Row(2)));
    return local.IntersectBox(AxisBox(-extents_, extents_), maxDistance, distance);
}

}  // namespace Orvo
