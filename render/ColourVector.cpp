#include "render/ColourVector.h"

#include "engine/StdMath.h"

Orvo::Color ScaleColour(const Orvo::Color& c, float factor)
{
    return Orvo::Color(c.r * factor, c.g * factor, c.b * factor, c.a * factor);
}

float VectorLength(const Orvo::Vector3& v)
{
    const float s = v.x * v.x + v.y * v.y + v.z * v.z;
    return s * Orvo::StdMath::InvSqrt(s);
}
