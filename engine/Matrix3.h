#pragma once
// A 3 x 3 matrix of floats, row by row, as the mesh files store orientations (36 bytes). Vectors are
// rows multiplied from the left (v' = v M): row i is where the axis i goes.
#include "engine/Vector.h"

namespace Orvo {

struct Matrix3
{
    float m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

    static constexpr Matrix3 Identity() { return Matrix3(); }
    constexpr Vector3 Row(int i) const { return {m[i][0], m[i][1], m[i][2]}; }
    constexpr void SetRow(int i, const Vector3& v)
    {
        m[i][0] = v.x;
        m[i][1] = v.y;
        m[i][2] = v.z;
    }
    // v M
    constexpr Vector3 Transform(const Vector3& v) const
    {
        return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
                v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
    }
    constexpr Matrix3 Transposed() const
    {
        Matrix3 t;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) t.m[r][c] = m[c][r];
        return t;
    }
    // This, then o.
    constexpr Matrix3 operator*(const Matrix3& o) const
    {
        Matrix3 p;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) p.m[r][c] = m[r][0] * o.m[0][c] + m[r][1] * o.m[1][c] + m[r][2] * o.m[2][c];
        return p;
    }
    constexpr bool operator==(const Matrix3& o) const
    {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                if (m[r][c] != o.m[r][c]) return false;
        return true;
    }
};

// A 4 x 4 matrix in the same convention: rows 0 to 2 are the axes, row 3 the translation.
struct Matrix4
{
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    constexpr Vector3 TransformPoint(const Vector3& v) const
    {
        return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + m[3][0],
                v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + m[3][1],
                v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + m[3][2]};
    }
    // Inverts the matrix in place (Gauss-Jordan with partial pivoting); false, and the matrix left as
    // it was, when it has no inverse.
    bool Invert()
    {
        float a[4][8];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 8; ++c) a[r][c] = c < 4 ? m[r][c] : (c - 4 == r ? 1.0f : 0.0f);
        for (int c = 0; c < 4; ++c)
        {
            int pivot = c;
            for (int r = c + 1; r < 4; ++r)
                if ((a[r][c] < 0 ? -a[r][c] : a[r][c]) > (a[pivot][c] < 0 ? -a[pivot][c] : a[pivot][c])) pivot = r;
            if (!(a[pivot][c] != 0.0f)) return false;
            if (pivot != c)
                for (int k = 0; k < 8; ++k)
                {
                    const float t = a[c][k];
                    a[c][k] = a[pivot][k];
                    a[pivot][k] = t;
                }
            const float scale = 1.0f / a[c][c];
            for (int k = 0; k < 8; ++k) a[c][k] *= scale;
            for (int r = 0; r < 4; ++r)
                if (r != c && a[r][c] != 0.0f)
                {
                    const float f = a[r][c];
                    for (int k = 0; k < 8; ++k) a[r][k] -= f * a[c][k];
                }
        }
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) m[r][c] = a[r][c + 4];
        return true;
    }
    // A direction carried by the upper 3 x 3 part (v M, no translation).
    constexpr Vector3 TransformDirection(const Vector3& v) const
    {
        return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
                v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
    }
    // A point carried by the whole matrix, divided by the resulting w (w taken as 1 when it is 0).
    constexpr Vector3 TransformPointProjected(const Vector3& v) const
    {
        const Vector3 p = TransformPoint(v);
        const float w = v.x * m[0][3] + v.y * m[1][3] + v.z * m[2][3] + m[3][3];
        return w != 0.0f ? Vector3(p.x / w, p.y / w, p.z / w) : p;
    }
    constexpr Matrix4 operator*(const Matrix4& o) const
    {
        Matrix4 p;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
            {
                float s = 0.0f;
                for (int k = 0; k < 4; ++k) s += m[r][k] * o.m[k][c];
                p.m[r][c] = s;
            }
        return p;
    }

    // The rotation of the unit quaternion (x, y, z, w), as its rows; row 3 becomes (0, 0, 0, 1).
    constexpr void SetRotation(float x, float y, float z, float w)
    {
        const float r[4][4] = {{1 - 2 * y * y - 2 * z * z, 2 * x * y + 2 * z * w, 2 * x * z - 2 * y * w, 0},
                               {2 * x * y - 2 * z * w, 1 - 2 * x * x - 2 * z * z, 2 * y * z + 2 * x * w, 0},
                               {2 * x * z + 2 * y * w, 2 * y * z - 2 * x * w, 1 - 2 * x * x - 2 * y * y, 0},
                               {0, 0, 0, 1}};
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) m[i][j] = r[i][j];
    }
    // Moves the matrix along its own axes: row 3 += x row 0 + y row 1 + z row 2.
    constexpr void Translate(float x, float y, float z)
    {
        for (int c = 0; c < 3; ++c)
        {
            const float moved = x * m[0][c] + y * m[1][c] + z * m[2][c];
            m[3][c] += moved;
        }
    }
};

}  // namespace Orvo
