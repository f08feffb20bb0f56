#include "engine/SceneLight.h"

namespace Orvo {

Vector3 SceneLight::Placed::GetDirection() const
{
    return owner_.GetGlobal().orientation.Rotate(DisplayLight::GetDirection());
}

Vector3 SceneLight::Placed::GetPosition() const { return owner_.GetGlobal().Apply(DisplayLight::GetPosition()); }

bool SceneLight::Reaches(const Sphere& sphere) const
{
    const int kind = light_.GetKind();
    if (kind != DisplayLight::Point && kind != DisplayLight::Spot) return true;
    const float reach = light_.radius + sphere.radius;
    // Not a number on either side reaches nothing.
    return (light_.GetPosition() - sphere.centre).LengthSquared() <= reach * reach && reach >= 0.0f;
}

Particle* SceneLight::CreateInstance() const
{
    auto* copy = new SceneLight(light_.GetKind());
    CopyInto(*copy);
    copy->light_.ambient = light_.ambient;
    copy->light_.diffuse = light_.diffuse;
    copy->light_.specular = light_.specular;
    copy->light_.coneAngle = light_.coneAngle;
    copy->light_.radius = light_.radius;
    copy->light_.SetDirection(light_.DisplayLight::GetDirection());
    copy->light_.SetPosition(light_.DisplayLight::GetPosition());
    for (const Particle* child : GetChildren())
        if (Particle* c = child->CreateInstance()) copy->AddChild(c);
    return copy;
}

}  // namespace Orvo
