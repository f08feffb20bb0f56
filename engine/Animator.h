#pragma once
// The animator of one mesh: it loads animations by resource name through a resource database and
// attaches each to the skeleton modifier that observes the mesh, once it has made sure the animation fits
// the mesh's skeleton.
//
// Add answers:
//   0  the animation loaded and fits: it is attached to the skeleton modifier;
//   2  a track of the animation names a bone the mesh's skeleton lacks;
//   3  the animation file is missing, unreadable or malformed;
//   4  it cannot be attached to the skeleton modifier observing the mesh (there is none, it observes
//      nothing, or the mesh has no bones).
// The file is looked at first: whether an animation fits cannot be told before it is read.
#include "engine/SkeletonModifier.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Orvo {

class Display;
class ResourceDatabase;

class Animator
{
public:
    enum [[nodiscard]] AddResult : int{
        AddOk = 0,
        AddSkeletonMismatch = 2,
        AddResourceFailed = 3,
        AddObserverFailed = 4,
    };

    // None of the three is owned; the database may be null (resource names are then paths).
    Animator(Display* display, ResourceDatabase* database, SkeletonModifier* skeleton);

    // Loads the animation of that resource name and attaches it with the flags and blend values; the
    // modifier made (owned by the skeleton modifier) goes to `modifier` when asked. On failure the reason,
    // for the user, is kept for GetLastError.
    int Add(std::string_view name, uint32_t flags, const AnimationWeights& weights,
            AnimationModifier** modifier = nullptr);
    // Why the last Add failed (empty after one that succeeded).
    const std::string& GetLastError() const { return lastError_; }

    Display* GetDisplay() const { return display_; }
    ResourceDatabase* GetDatabase() const { return database_; }
    SkeletonModifier* GetSkeletonModifier() const { return skeleton_; }

private:
    int Fail(int result, std::string reason);

    Display* display_;
    ResourceDatabase* database_;
    SkeletonModifier* skeleton_;
    std::string lastError_;
};

}  // namespace Orvo
