#pragma once
// A bone that also scales what it carries (particle type 23): skinning multiplies the bone's axes by its
// scale, x, y and z each, unless its scale-disabled byte is set. Its children are placed by the unscaled
// bone: the scale reaches only the vertices the bone itself weighs.
#include "engine/Particle.h"
#include "engine/Vector.h"

#include <cstdint>

namespace Orvo {

class ScaledBone : public ParticleBone
{
public:
    static constexpr uint32_t kTypeId = 23;

    uint32_t GetID() const override { return kTypeId; }
    const Vector3& GetScale() const { return scale_; }
    void SetScale(const Vector3& scale) { scale_ = scale; }
    // Non-zero: skinning leaves the bone's axes unscaled.
    uint8_t GetScaleDisabled() const { return scaleDisabled_; }
    void SetScaleDisabled(uint8_t disabled) { scaleDisabled_ = disabled; }
    Particle* CreateInstance() const override;

private:
    Vector3 scale_{1.0f, 1.0f, 1.0f};
    uint8_t scaleDisabled_ = 0;
};

}  // namespace Orvo
