#include "engine/LightTarget.h"

#include "engine/SceneGraph.h"

namespace Orvo {

void LightTarget::GatherLights(const SceneGraph& scene, const Sphere& bounds)
{
    lights_.clear();
    displayLights_.Clear();
    for (const SceneLight* light : scene.GetLights())
    {
        if (displayLights_.Count() == LightList::kMaxLights) break;
        if (light == nullptr || !light->Reaches(bounds)) continue;
        displayLights_.Add(&light->GetLight());
        lights_.push_back(light);
    }
}

}  // namespace Orvo
