#include "engine/ConfigFileBound.h"

#include "engine/PString.h"
#include "platform/Memory.h"

#include <atomic>

namespace Orvo {
namespace {

// Process-wide: memory is the process's, and a loader on any thread may have taken much of it.
std::atomic<bool> g_largeLoad{false};

}  // namespace

std::string ConfigFileTooLargeReason()
{
    return "larger than " + std::to_string(kMaxConfigFileBytes >> 20) + " MiB (" + std::to_string(kMaxConfigFileBytes) +
           " bytes), the most a configuration file may hold; it was not read";
}

std::string ConfigFileTooLargeText(std::string_view path)
{
    return "'" + std::string(path) + "' is " + ConfigFileTooLargeReason();
}

void NoteConfigLoad(uint64_t bytes)
{
    if (bytes >= kLargeConfigLoadBytes) g_largeLoad.store(true, std::memory_order_relaxed);
}

void GiveBackMemoryAfterLargeLoads()
{
    if (!g_largeLoad.exchange(false, std::memory_order_relaxed)) return;
    // The names of its tags stay interned after the tree is gone, scattered among the free memory, which the
    // heap then cannot give back: they go first.
    PStringCache::Instance().CollectGarbage();
    Platform::ReleaseFreeMemory();
}

}  // namespace Orvo
