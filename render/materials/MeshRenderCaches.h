#pragma once
// The program's two alpha-blend caches (sorted and unsorted) for a render kernel: made, added to the
// kernel's cache manager (sorted first), and handed to the caller (one reference each).
#include "engine/AutoReference.h"
#include "engine/RenderingCache.h"

#include <vector>

namespace Orvo {
class RenderKernel;
}

void AddMeshRenderCaches(Orvo::RenderKernel& kernel, std::vector<Orvo::AutoReference<Orvo::RenderingCache>>& made);
