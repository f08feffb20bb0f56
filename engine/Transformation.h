#pragma once
// A position and an orientation: where a particle stands relative to its parent.
#include "engine/Matrix3.h"
#include "engine/Quaternion.h"
#include "engine/Vector.h"

namespace Orvo {

struct Transformation
{
    Vector3 position;
    Quaternion orientation;

    // A point of this frame in the parent's frame.
    Vector3 Apply(const Vector3& p) const { return orientation.Rotate(p) + position; }
    // This frame inside `parent`: the combined transformation to the parent's parent.
    Transformation Within(const Transformation& parent) const
    {
        return {parent.Apply(position), orientation.Then(parent.orientation)};
    }
    Transformation Inverse() const
    {
        const Quaternion inverse = orientation.Conjugate();
        return {inverse.Rotate(-position), inverse};
    }
    Matrix4 ToMatrix() const
    {
        Matrix4 out;
        const Matrix3 r = orientation.ToMatrix();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) out.m[i][j] = r.m[i][j];
        out.m[3][0] = position.x;
        out.m[3][1] = position.y;
        out.m[3][2] = position.z;
        return out;
    }
};

}  // namespace Orvo
