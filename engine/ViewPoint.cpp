#include "engine/ViewPoint.h"

#include <cmath>

namespace Orvo {

int ViewPoint::CalcWantedMipLevelsForCull(const Particle& particle, float textureDetailBias) const
{
    const Sphere sphere = particle.GetGlobalBoundingSphere();
    const Vector3 eye = viewPort_.camera ? viewPort_.camera->GetGlobalPosition() : Vector3();
    const float distance = (sphere.centre - eye).Length() - sphere.radius;
    if (!(textureDetailBias > 0.0f) || !(distance > textureDetailBias)) return 0;
    const float level = std::floor(std::log2(distance / textureDetailBias));
    return level < float(kMaxWantedMipLevel) ? int(level) : kMaxWantedMipLevel;
}

}  // namespace Orvo
