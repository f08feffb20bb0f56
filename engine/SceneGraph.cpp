#include "engine/SceneGraph.h"

#include "platform/UniqueNumber.h"

#include <algorithm>
#include <atomic>

namespace Orvo {

uint64_t SceneGraph::NextLightsVersion() { return Platform::NextUniqueNumber(); }

void SceneGraph::AddScene(Particle* root)
{
    if (root != nullptr && !HasScene(root)) scenes_.push_back(root);
}

bool SceneGraph::UnlinkScene(Particle* root)
{
    auto it = std::find(scenes_.begin(), scenes_.end(), root);
    if (it == scenes_.end()) return false;
    scenes_.erase(it);
    return true;
}

bool SceneGraph::HasScene(const Particle* root) const
{
    return std::find(scenes_.begin(), scenes_.end(), root) != scenes_.end();
}

void SceneGraph::AddLight(SceneLight* light)
{
    if (light == nullptr || std::find(lights_.begin(), lights_.end(), light) != lights_.end()) return;
    lights_.push_back(light);
    lightsVersion_ = NextLightsVersion();
}

bool SceneGraph::RemoveLight(SceneLight* light)
{
    auto it = std::find(lights_.begin(), lights_.end(), light);
    if (it == lights_.end()) return false;
    lights_.erase(it);
    lightsVersion_ = NextLightsVersion();
    return true;
}

void SceneGraph::PurgeDeathRow() {}

}  // namespace Orvo
