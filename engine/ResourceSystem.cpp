#include "engine/ResourceSystem.h"

#include <atomic>

namespace Orvo {
namespace {
std::atomic<ResourceSystem*> g_current{nullptr};
} // namespace

ResourceSystem::~ResourceSystem()
{
    Shutdown();
    ResourceSystem* self = this;
    g_current.compare_exchange_strong(self, nullptr);
}

bool ResourceSystem::Init(const Options&)
{
    m_initialised = true;
    return true;
}

void ResourceSystem::Shutdown()
{
    if (m_initialised)
        DumpUnusedResourcesFromCache();
    m_initialised = false;
}

size_t ResourceSystem::DumpUnusedResourcesFromCache()
{
    return 0; // nothing is cached until the resource types arrive
}

ResourceSystem* ResourceSystem::Current()
{
    return g_current.load();
}

void ResourceSystem::SetCurrent(ResourceSystem* system)
{
    g_current = system;
}

} // namespace Orvo
