#include "engine/LightTarget.h"

#include "engine/SceneGraph.h"

namespace Orvo {

void LightTarget::GatherLights(const SceneGraph& scene, const Sphere& bounds)
{
    lights_.clear();
    displayLights_.Clear();
    gatheredVersion_ = scene.GetLightsVersion();
    for (const SceneLight* light : scene.GetLights())
    {
        if (displayLights_.Count() == LightList::kMaxLights) break;
        if (light == nullptr || !light->Reaches(bounds)) continue;
        displayLights_.Add(&light->GetLight());
        lights_.push_back(light);
    }
}

bool LightTarget::HasCurrentLightsOf(const SceneGraph& scene) const
{
    return gatheredVersion_ == scene.GetLightsVersion();
}

}  // namespace Orvo
