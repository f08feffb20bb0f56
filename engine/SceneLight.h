#pragma once
// A light standing in a scene: a particle (it moves with what it hangs below) that carries the display
// light materials draw with. The display light's position and direction are set in the particle's own
// frame and answered in the frame of the scene's root, so the light shines from where it stands now.
// The scene graph keeps the lights of its scenes (SceneGraph::AddLight, without owning them); light
// targets gather the ones that reach them (LightTarget::GatherLights).
#include "engine/Bounds.h"
#include "engine/DisplayLight.h"
#include "engine/Particle.h"

namespace Orvo {

class SceneLight : public Particle
{
public:
    explicit SceneLight(int kind = DisplayLight::Parallel) : light_(*this, kind) {}

    // Colours, cone, radius; position and direction in the particle's frame.
    DisplayLight& GetLight() { return light_; }
    const DisplayLight& GetLight() const { return light_; }
    // Ambient and parallel lights reach everything; point and spot lights a sphere (in the root's frame)
    // that comes within their radius.
    bool Reaches(const Sphere& sphere) const;
    // A light of the same kind and settings (not entered in any scene graph).
    Particle* CreateInstance() const override;

private:
    class Placed : public DisplayLight
    {
    public:
        Placed(const SceneLight& owner, int kind) : DisplayLight(kind), owner_(owner) {}
        Vector3 GetDirection() const override;
        Vector3 GetPosition() const override;

    private:
        const SceneLight& owner_;
    };
    Placed light_;
};

}  // namespace Orvo
