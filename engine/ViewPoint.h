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
    // The coarsest mip level a texture is ever asked for (a 16384 texel side has 14 levels below it).
    static constexpr int kMaxWantedMipLevel = 14;
    // The mip level (0 the finest) a particle's textures are wanted at in this cull, from the texture
    // detail bias of its mesh (8 x the world length one unit of texture coordinate spans) and the distance
    // d from the camera to the nearest point of the particle's global bounding sphere (0 inside it; the
    // camera stands at the origin when there is none):
    //   level = floor(log2(d / bias)) when bias > 0 and d > bias, at most kMaxWantedMipLevel; else 0.
    // Every doubling of the distance beyond the bias asks for the next coarser level.
    int CalcWantedMipLevelsForCull(const Particle& particle, float textureDetailBias) const;
    // Queues a particle to be drawn with that matrix.
    void Add(Particle* particle, const Matrix4& matrix) { queued_.emplace_back(particle, matrix); }
    const std::vector<std::pair<Particle*, Matrix4>>& GetQueued() const { return queued_; }
    void Clear() { queued_.clear(); }

private:
    ViewPort& viewPort_;
    std::vector<std::pair<Particle*, Matrix4>> queued_;
};

}  // namespace Orvo
