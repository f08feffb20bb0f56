#include "engine/SceneGraph.h"

#include <algorithm>

namespace Orvo {

Particle::~Particle()
{
    if (parent_ != nullptr) parent_->RemoveChild(this);
    for (Particle* child : children_) child->parent_ = nullptr;
}

void Particle::AddChild(Particle* child)
{
    if (child == nullptr || child == this || child->parent_ == this) return;
    if (child->parent_ != nullptr) child->parent_->RemoveChild(child);
    child->parent_ = this;
    children_.push_back(child);
}

bool Particle::RemoveChild(Particle* child)
{
    auto it = std::find(children_.begin(), children_.end(), child);
    if (it == children_.end()) return false;
    (*it)->parent_ = nullptr;
    children_.erase(it);
    return true;
}

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
