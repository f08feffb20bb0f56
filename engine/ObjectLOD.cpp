#include "engine/ObjectLOD.h"

#include "engine/ViewPoint.h"

namespace Orvo {

bool ObjectLOD::Init(const std::vector<float>& switchDistances, CalcPoint point)
{
    distances_ = switchDistances;
    point_ = point <= Far ? point : Centre;
    index_ = 0;
    return !distances_.empty();
}

float ObjectLOD::FindLOD(const Sphere& sphere, const Camera* camera)
{
    const Vector3 eye = camera ? camera->GetGlobalPosition() : Vector3();
    float distance = (sphere.centre - eye).Length();
    if (point_ == Near)
        distance = distance > sphere.radius ? distance - sphere.radius : 0.0f;
    else if (point_ == Far)
        distance += sphere.radius;
    measure_ = distance * multiplier_ + offset_;
    return measure_;
}

uint32_t ObjectLOD::FindLODIndex(float measure)
{
    uint32_t index = 0;
    for (uint32_t i = 0; i < distances_.size(); ++i)
        if (distances_[i] <= measure) index = i;
    index_ = index;
    return index;
}

}  // namespace Orvo
