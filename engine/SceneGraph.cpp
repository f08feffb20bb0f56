#include "engine/SceneGraph.h"

#include <algorithm>

namespace Orvo {

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

void SceneGraph::PurgeDeathRow() {}

}  // namespace Orvo
