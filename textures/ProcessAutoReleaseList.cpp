#include "textures/ProcessAutoReleaseList.h"

#include <atomic>

namespace {
// Process-wide: textures made on any thread go into the one list start-up published.
std::atomic<AutoReleaseList*> g_autoReleaseList{nullptr};
}  // namespace

AutoReleaseList* GetAutoReleaseList() { return g_autoReleaseList.load(std::memory_order_acquire); }

void SetAutoReleaseList(AutoReleaseList* list) { g_autoReleaseList.store(list, std::memory_order_release); }
