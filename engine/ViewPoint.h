#pragma once
// What a frame is seen from: a camera (a particle whose view transform is the inverse of its frame),
// the viewport being drawn (its frame number and camera) and the view point that culling fills with
// the particles to draw.
#include "engine/Matrix3.h"
#include "engine/Particle.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace Orvo {

class Camera : public Particle
{
public:
    // From the root's frame into the camera's.
    Transformation GetViewTransform() const { return GetGlobal().Inverse(); }
    Vector3 GetGlobalPosition() const { return GetGlobal().position; }
};

struct ViewPort
{
    uint32_t frame = 0;
    Camera* camera = nullptr;
};

class ViewPoint
{
public:
    explicit ViewPoint(ViewPort& viewPort) : viewPort_(viewPort) {}

    uint32_t GetFrame() const { return viewPort_.frame; }
    ViewPort& GetViewPort() { return viewPort_; }
    Camera* GetCamera() const { return viewPort_.camera; }
    // Queues a particle to be drawn with that matrix.
    void Add(Particle* particle, const Matrix4& matrix) { queued_.emplace_back(particle, matrix); }
    const std::vector<std::pair<Particle*, Matrix4>>& GetQueued() const { return queued_; }
    void Clear() { queued_.clear(); }

private:
    ViewPort& viewPort_;
    std::vector<std::pair<Particle*, Matrix4>> queued_;
};

}  // namespace Orvo
