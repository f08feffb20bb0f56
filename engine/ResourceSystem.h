#pragma once
// The engine's resource system: owns the cache of loaded resources. The tool creates one at start-up,
// initialises it with the engine options and deletes it at shutdown. The resource types themselves come
// with the mesh and texture libraries; this object is where they will be cached.
#include <cstddef>

namespace Orvo {

class Options;

class ResourceSystem
{
public:
    ResourceSystem() = default;
    ~ResourceSystem();
    ResourceSystem(const ResourceSystem&) = delete;
    ResourceSystem& operator=(const ResourceSystem&) = delete;

    bool Init(const Options& options);
    void Shutdown();
    bool IsInitialised() const { return initialised_; }

    // Frees cached resources that nothing uses any more; returns how many went.
    size_t DumpUnusedResourcesFromCache();

    // The process's resource system (the one start-up created), or null.
    static ResourceSystem* Current();
    static void SetCurrent(ResourceSystem* system);

private:
    bool initialised_ = false;
};

}  // namespace Orvo
