#include "engine/ResourceSystem.h"

#include <atomic>

namespace Orvo {
namespace {
std::atomic<ResourceSystem*> g_current{nullptr};
}  // namespace

ResourceSystem::~ResourceSystem()
{
    Shutdown();
    ResourceSystem* self = this;
    g_current.compare_exchange_strong(self, nullptr);
}

bool ResourceSystem::Init(const Options&)
{
    initialised_ = true;
    return true;
}

void ResourceSystem::Shutdown()
{
    if (initialised_) DumpUnusedResourcesFromCache();
    initialised_ = false;
}

size_t ResourceSystem::DumpUnusedResourcesFromCache()
{
    return 0;  // nothing is cached until the resource types arrive
}

ResourceSystem* ResourceSystem::Current() { return g_current.load(); }

void ResourceSystem::SetCurrent(ResourceSystem* system) { g_current = system; }

}  // namespace Orvo
