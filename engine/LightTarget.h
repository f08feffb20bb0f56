#pragma once
// Something lights are applied to: it keeps whether its lighting must be worked out again and the
// lights that reach it.
#include <vector>

namespace Orvo {

class Particle;

class LightTarget
{
public:
    virtual ~LightTarget() = default;
    virtual void SetUpdateLighting(bool on) { updateLighting_ = on; }
    bool GetUpdateLighting() const { return updateLighting_; }
    std::vector<const Particle*>& GetLights() { return lights_; }

private:
    bool updateLighting_ = true;
    std::vector<const Particle*> lights_;
};

}  // namespace Orvo
