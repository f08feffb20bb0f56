#pragma once
// The modifiers that move a skeleton. A skeleton modifier observes one particle (a mesh's particle) and
// drives the bones below it (its ParticleBone descendants, found by name); it owns the animation
// modifiers attached to it. An animation modifier holds one loaded animation with the flags and blend
// values it was added with.
#include "engine/Animation.h"
#include "engine/PString.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Orvo {

class Particle;
class ParticleBone;
class RenderKernel;
class ResourceDatabase;

// The six blend values an animation is added with (its weight as it starts and at full strength, how
// long it takes to blend in and out, where it starts and how fast it plays), kept for when it plays.
using AnimationWeights = std::array<float, 6>;

class AnimationModifier
{
public:
    AnimationModifier(const PString& name, std::shared_ptr<const Animation> animation, uint32_t flags,
                      const AnimationWeights& weights = {});

    // Loads the animation of that resource name (a path through the database; without one the name is the
    // path) into a new modifier the caller owns; null when it cannot be loaded, with the reason when asked.
    static AnimationModifier* CreateInstance(ResourceDatabase* database, std::string_view name, uint32_t flags,
                                             std::string* reason = nullptr);

    const PString& GetName() const { return name_; }
    const Animation& GetAnimation() const { return *animation_; }
    uint32_t GetFlags() const { return flags_; }
    const AnimationWeights& GetWeights() const { return weights_; }
    // The number of frames the animation runs over.
    uint32_t GetFrameCount() const { return animation_->frameCount; }

private:
    PString name_;
    std::shared_ptr<const Animation> animation_;
    uint32_t flags_;
    AnimationWeights weights_;
};

class SkeletonModifier
{
public:
    // Observes `observed` (not owned; may be null: then there is nothing to drive). `blendTime` is how
    // long one pose takes to blend into the next, in seconds.
    SkeletonModifier(Particle* observed, RenderKernel* kernel, float blendTime);
    ~SkeletonModifier();
    SkeletonModifier(const SkeletonModifier&) = delete;
    SkeletonModifier& operator=(const SkeletonModifier&) = delete;

    Particle* GetObserved() const { return observed_; }
    RenderKernel* GetRenderKernel() const { return kernel_; }
    float GetBlendTime() const { return blendTime_; }
    // The bones below the observed particle (it included), depth first; none without an observed particle.
    std::vector<ParticleBone*> GetBones() const;
    // The bone of that name (compared by identity), or null.
    ParticleBone* FindBone(const PString& name) const;

    // Takes the modifier over; its animation then drives the observed particle's bones.
    void Attach(std::unique_ptr<AnimationModifier> modifier);
    const std::vector<std::unique_ptr<AnimationModifier>>& GetAnimations() const { return animations_; }

private:
    Particle* observed_;
    RenderKernel* kernel_;
    float blendTime_;
    std::vector<std::unique_ptr<AnimationModifier>> animations_;
};

}  // namespace Orvo
