#include "engine/DebugViewport.h"

#include <atomic>

namespace Orvo {

namespace {
// Process-wide: particles and chunks on any thread draw into the one viewport the program publishes.
std::atomic<DebugViewport*> g_debugViewport{nullptr};
}  // namespace

DebugViewport* GetDebugViewport() { return g_debugViewport.load(std::memory_order_acquire); }

void SetDebugViewport(DebugViewport* viewport) { g_debugViewport.store(viewport, std::memory_order_release); }

}  // namespace Orvo
