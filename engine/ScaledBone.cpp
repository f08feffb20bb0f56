#include "engine/ScaledBone.h"

namespace Orvo {

Particle* ScaledBone::CreateInstance() const
{
    auto* copy = new ScaledBone();
    CopyInto(*copy);
    copy->SetFramePosition(GetFrame().position);
    copy->SetFrameOrientation(GetFrame().orientation);
    copy->SetPosition(GetLocal().position);  // where the bone stands now, not only its rest frame
    copy->SetOrientation(GetLocal().orientation);
    copy->scale_ = scale_;
    copy->scaleDisabled_ = scaleDisabled_;
    for (const Particle* child : GetChildren())
        if (Particle* c = child->CreateInstance()) copy->AddChild(c);
    return copy;
}

}  // namespace Orvo
