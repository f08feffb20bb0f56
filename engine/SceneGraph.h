#pragma once
// The scene graph of the render kernel: it holds the root particles (engine/Particle.h) of the scenes it
// draws, without owning them: the creator deletes a particle after unlinking it.
#include "engine/Particle.h"

#include <cstddef>
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
    // Deletes the particles handed to the death row (none are, until scenes are animated).
    void PurgeDeathRow();

private:
    std::vector<Particle*> scenes_;
};

}  // namespace Orvo
