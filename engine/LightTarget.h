#pragma once
// Something lights are applied to: it keeps whether its lighting must be worked out again and the
// lights that reach it, as particles and as the display lights its materials draw with.
#include "engine/Bounds.h"
#include "engine/DisplayLight.h"

#include <cstdint>
#include <vector>

namespace Orvo {

class Particle;
class SceneGraph;

class LightTarget
{
public:
    virtual ~LightTarget() = default;
    virtual void SetUpdateLighting(bool on) { updateLighting_ = on; }
    bool GetUpdateLighting() const { return updateLighting_; }
    std::vector<const Particle*>& GetLights() { return lights_; }
    LightList& GetDisplayLights() { return displayLights_; }
    // The display lights for a material's draw: null when none reach the object.
    const LightList* GetDisplayLightList() const { return displayLights_.Count() ? &displayLights_ : nullptr; }
    // Replaces both lists by the scene's lights that reach `bounds` (a sphere in the frame of the scene's
    // root), in the scene's order, at most the 13 a light list holds.
    void GatherLights(const SceneGraph& scene, const Sphere& bounds);
    // False until the target has gathered the lights of `scene`, and again once the scene's lights have
    // been added to or removed since.
    bool HasCurrentLightsOf(const SceneGraph& scene) const;

private:
    bool updateLighting_ = true;
    std::vector<const Particle*> lights_;
    LightList displayLights_;
    uint64_t gatheredVersion_ = 0;  // the scene graph's lights version when they were gathered
};

}  // namespace Orvo
