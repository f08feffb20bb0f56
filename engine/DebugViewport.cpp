#include "engine/DebugViewport.h"

#include <atomic>

namespace Orvo {
namespace {
std::atomic<DebugViewport*> g_viewport{nullptr};
}  // namespace

DebugViewport* DebugViewport::Get() { return g_viewport.load(); }

void DebugViewport::Set(DebugViewport* viewport) { g_viewport = viewport; }

}  // namespace Orvo
