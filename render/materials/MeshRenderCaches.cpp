#include "render/materials/MeshRenderCaches.h"

#include "engine/RenderKernel.h"
#include "render/materials/VelmarAlphaBlendCache.h"

void AddMeshRenderCaches(Orvo::RenderKernel& kernel, std::vector<Orvo::AutoReference<Orvo::RenderingCache>>& made)
{
    for (Orvo::RenderingCache* cache : {static_cast<Orvo::RenderingCache*>(new Orvo::VelmarAlphaBlendCache()),
                                        static_cast<Orvo::RenderingCache*>(new Orvo::AlphaBlendCacheUnsorted())})
    {
        kernel.GetRenderingCacheManager().AddCache(cache);
        made.emplace_back(cache);
    }
}
