#include "engine/Animator.h"

#include "engine/Particle.h"
#include "engine/ResourceDatabase.h"

#include <memory>
#include <unordered_set>
#include <utility>

namespace Orvo {

Animator::Animator(Display* display, ResourceDatabase* database, SkeletonModifier* skeleton)
    : display_(display), database_(database), skeleton_(skeleton)
{}

int Animator::Fail(int result, std::string reason)
{
    lastError_ = std::move(reason);
    return result;
}

int Animator::Add(std::string_view name, uint32_t flags, const AnimationWeights& weights, AnimationModifier** modifier)
{
    if (modifier != nullptr) *modifier = nullptr;
    auto animation = std::make_shared<Animation>();
    std::string reason;
    if (!animation->Load(database_ ? database_->GetFileName(name) : std::string(name), reason))
        return Fail(AddResourceFailed, reason);

    if (skeleton_ == nullptr || skeleton_->GetObserved() == nullptr)
        return Fail(AddObserverFailed, "no skeleton modifier observes its mesh");
    const std::vector<ParticleBone*> bones = skeleton_->GetBones();
    if (bones.empty()) return Fail(AddObserverFailed, "its mesh has no bones");
    std::unordered_set<PString> names;
    for (const ParticleBone* bone : bones) names.insert(bone->GetName());
    for (const AnimationTrack& track : animation->tracks)
        if (names.count(track.bone) == 0)
            return Fail(AddSkeletonMismatch, "it moves the bone \"" + track.bone.str() + "\", which its mesh lacks");

    auto made = std::make_unique<AnimationModifier>(PString(name), std::move(animation), flags, weights);
    if (modifier != nullptr) *modifier = made.get();
    skeleton_->Attach(std::move(made));
    lastError_.clear();
    return AddOk;
}

}  // namespace Orvo
