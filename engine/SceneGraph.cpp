#include "engine/SceneGraph.h"

#include <algorithm>

namespace Orvo {

Particle::~Particle()
{
    if (m_parent != nullptr)
        m_parent->RemoveChild(this);
    for (Particle* child : m_children)
        child->m_parent = nullptr;
}

void Particle::AddChild(Particle* child)
{
    if (child == nullptr || child == this || child->m_parent == this)
        return;
    if (child->m_parent != nullptr)
        child->m_parent->RemoveChild(child);
    child->m_parent = this;
    m_children.push_back(child);
}

bool Particle::RemoveChild(Particle* child)
{
    auto it = std::find(m_children.begin(), m_children.end(), child);
    if (it == m_children.end())
        return false;
    (*it)->m_parent = nullptr;
    m_children.erase(it);
    return true;
}

void SceneGraph::AddScene(Particle* root)
{
    if (root != nullptr && !HasScene(root))
        m_scenes.push_back(root);
}

bool SceneGraph::UnlinkScene(Particle* root)
{
    auto it = std::find(m_scenes.begin(), m_scenes.end(), root);
    if (it == m_scenes.end())
        return false;
    m_scenes.erase(it);
    return true;
}

bool SceneGraph::HasScene(const Particle* root) const
{
    return std::find(m_scenes.begin(), m_scenes.end(), root) != m_scenes.end();
}

void SceneGraph::PurgeDeathRow()
{
}

} // namespace Orvo
