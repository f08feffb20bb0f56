#pragma once
// The scene graph of the render kernel: it holds the root particles (engine/Particle.h) of the scenes it
// draws, and the lights that stand in them, without owning them: the creator deletes a particle or a
// light after unlinking it.
#include "engine/Particle.h"
#include "engine/SceneLight.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orvo {

// A view onto a scene: its orientation (a quaternion, x y z w) and the particle it looks at.
class View
{
public:
    virtual ~View() = default;
    float orientation[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    Particle* scene = nullptr;
};

class SceneGraph
{
public:
    void AddScene(Particle* root);
    // False when the particle was not a scene of this graph.
    bool UnlinkScene(Particle* root);
    bool HasScene(const Particle* root) const;
    size_t SceneCount() const { return scenes_.size(); }
    // Lights, in the order they were added (a light added again keeps its place).
    void AddLight(SceneLight* light);
    // False when the light was not one of this graph's.
    bool RemoveLight(SceneLight* light);
    const std::vector<SceneLight*>& GetLights() const { return lights_; }
    // A number that changes whenever a light is added or removed (and that no other scene graph of the
    // process has had), so that what gathered the lights can tell it must gather again before it draws
    // with a light that may be gone.
    uint64_t GetLightsVersion() const { return lightsVersion_; }
    // Deletes the particles handed to the death row (none are, until scenes are animated).
    void PurgeDeathRow();

private:
    std::vector<Particle*> scenes_;
    std::vector<SceneLight*> lights_;
    static uint64_t NextLightsVersion();
    uint64_t lightsVersion_ = NextLightsVersion();
};

}  // namespace Orvo
