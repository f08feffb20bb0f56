#pragma once

namespace Orvo {

// A colour of four floats in the order red, green, blue, alpha (the layout materials and mesh files use).
struct Color
{
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;

    constexpr Color() = default;
    constexpr Color(float red, float green, float blue, float alpha) : r(red), g(green), b(blue), a(alpha) {}

    // Limits every component, alpha included, to [0, 1] in place.
    void Clamp()
    {
        r = ClampUnit(r);
        g = ClampUnit(g);
        b = ClampUnit(b);
        a = ClampUnit(a);
    }

    constexpr bool operator==(const Color&) const = default;

private:
    // A NaN becomes 0, so a clamped colour is always a usable one.
    static constexpr float ClampUnit(float v) { return v > 1.0f ? 1.0f : (v >= 0.0f ? v : 0.0f); }
};

// Component-wise product: lighting modulates a material colour by a light colour this way.
constexpr Color operator*(const Color& x, const Color& y) { return Color(x.r * y.r, x.g * y.g, x.b * y.b, x.a * y.a); }

}  // namespace Orvo
