#include "engine/SkeletonModifier.h"

#include "engine/Particle.h"
#include "engine/ResourceDatabase.h"

#include <utility>

namespace Orvo {

AnimationModifier::AnimationModifier(const PString& name, std::shared_ptr<const Animation> animation, uint32_t flags,
                                     const AnimationWeights& weights)
    : name_(name), animation_(std::move(animation)), flags_(flags), weights_(weights)
{}

AnimationModifier* AnimationModifier::CreateInstance(ResourceDatabase* database, std::string_view name, uint32_t flags,
                                                     std::string* reason)
{
    auto animation = std::make_shared<Animation>();
    std::string why;
    if (!animation->Load(database ? database->GetFileName(name) : std::string(name), why))
    {
        if (reason != nullptr) *reason = why;
        return nullptr;
    }
    return new AnimationModifier(PString(name), std::move(animation), flags);
}

SkeletonModifier::SkeletonModifier(Particle* observed, RenderKernel* kernel, float blendTime)
    : observed_(observed), kernel_(kernel), blendTime_(blendTime)
{}

SkeletonModifier::~SkeletonModifier() = default;

std::vector<ParticleBone*> SkeletonModifier::GetBones() const
{
    std::vector<ParticleBone*> bones;
    if (observed_ == nullptr) return bones;
    observed_->EnumerateParticles([&](Particle& p) {
        if (auto* bone = dynamic_cast<ParticleBone*>(&p)) bones.push_back(bone);
    });
    return bones;
}

ParticleBone* SkeletonModifier::FindBone(const PString& name) const
{
    for (ParticleBone* bone : GetBones())
        if (bone->GetName() == name) return bone;
    return nullptr;
}

void SkeletonModifier::Attach(std::unique_ptr<AnimationModifier> modifier)
{
    if (modifier) animations_.push_back(std::move(modifier));
}

}  // namespace Orvo
