#include "validation/ValidationHooks.h"

namespace TETLib {

void ValidationPlugins::SetMeshSource(MeshSource* source)
{
    meshSource_ = source;
    if (source != ownedMeshSource_.get()) ownedMeshSource_.reset();
}

void ValidationPlugins::SetMeshSource(std::unique_ptr<MeshSource> source)
{
    meshSource_ = source.get();
    ownedMeshSource_ = std::move(source);
}

bool ValidationPlugins::IsValidUserId(int32_t userId) const
{
    return services_.isValidUserId ? services_.isValidUserId(userId) : userId < 0 && userId != -2;
}

}  // namespace TETLib
