#pragma once
// Lights as the display hands them to materials: a kind, three colours, a direction and a position (in
// the frame of the scene's root), a spot cone and a radius. A light list is the fixed array of at most
// 13 lights that reach one drawn object.
#include "engine/Color.h"
#include "engine/Vector.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace Orvo {

class DisplayLight
{
public:
    enum Kind : int
    {
        Ambient = 0,
        Point = 1,
        Spot = 2,
        Parallel = 3,
    };

    explicit DisplayLight(int kind = Parallel) : kind_(kind) {}
    virtual ~DisplayLight() = default;

    int GetKind() const { return kind_; }
    Color ambient{0.0f, 0.0f, 0.0f, 1.0f};
    Color diffuse{1.0f, 1.0f, 1.0f, 1.0f};
    Color specular{1.0f, 1.0f, 1.0f, 1.0f};
    float coneAngle = 45.0f;  // degrees, spot lights
    float radius = 100.0f;    // how far a spot or point light reaches

    // The direction the light shines in and where it stands.
    virtual Vector3 GetDirection() const { return direction_; }
    virtual Vector3 GetPosition() const { return position_; }
    void SetDirection(const Vector3& d) { direction_ = d; }
    void SetPosition(const Vector3& p) { position_ = p; }

private:
    int kind_;
    Vector3 direction_{0.0f, 0.0f, -1.0f};
    Vector3 position_;
};

class LightList
{
public:
    static constexpr size_t kMaxLights = 13;

    // False (nothing added) when the list is full or the light is null.
    bool Add(const DisplayLight* light)
    {
        if (light == nullptr || count_ == kMaxLights) return false;
        lights_[count_++] = light;
        return true;
    }
    void Clear() { count_ = 0; }
    size_t Count() const { return count_; }
    const DisplayLight* operator[](size_t i) const { return i < count_ ? lights_[i] : nullptr; }
    const DisplayLight* const* begin() const { return lights_.data(); }
    const DisplayLight* const* end() const { return lights_.data() + count_; }

private:
    std::array<const DisplayLight*, kMaxLights> lights_{};
    size_t count_ = 0;
};

}  // namespace Orvo
