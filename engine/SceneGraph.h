#pragma once
// Scene nodes and the scene graph of the render kernel. A particle is a node with children; the graph
// holds the root particles of the scenes it draws. Neither owns what it is given: the creator deletes a
// particle after unlinking it.
#include <cstddef>
#include <vector>

namespace Orvo {

class Particle
{
public:
    Particle() = default;
    virtual ~Particle();
    Particle(const Particle&) = delete;
    Particle& operator=(const Particle&) = delete;

    void AddChild(Particle* child);
    bool RemoveChild(Particle* child);
    const std::vector<Particle*>& GetChildren() const { return children_; }
    Particle* GetParent() const { return parent_; }

private:
    Particle* parent_ = nullptr;
    std::vector<Particle*> children_;
};

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
