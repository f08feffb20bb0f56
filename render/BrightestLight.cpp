#include "render/BrightestLight.h"

using namespace Orvo;

const DisplayLight* ChooseBrightestLight(const LightList* lights, int kind)
{
    if (lights == nullptr) return nullptr;
    const DisplayLight* best = nullptr;
    float bestSum = 0.0f;
    for (const DisplayLight* light : *lights)
    {
        if (light == nullptr || light->GetKind() != kind) continue;
        const float sum = light->diffuse.r + light->diffuse.g + light->diffuse.b;
        if (best == nullptr || sum > bestSum)
        {
            best = light;
            bestSum = sum;
        }
    }
    return best;
}
