#include "engine/RenderingCache.h"

#include "engine/Display.h"
#include "engine/GeometryChunk.h"
#include "engine/Material.h"

#include <algorithm>

namespace Orvo {

PrimitiveListCache::~PrimitiveListCache() = default;

RenderingCache* PrimitiveListCache::Reset()
{
    entries_.clear();
    return this;
}

void PrimitiveListCache::AddPrimitive(Display*, ViewPort*, Material* material, GeometryChunk* chunk,
                                      const LightList* lights, const Matrix4& transform)
{
    if (material == nullptr || chunk == nullptr) return;
    entries_.push_back({AutoReference<GeometryChunk>(chunk), AutoReference<Material>(material), transform, lights});
}

void PrimitiveListCache::Render(Display* display, ViewPort* viewport)
{
    std::vector<Entry> drawing;
    drawing.swap(entries_);
    if (drawing.empty()) return;
    SetRenderState(display);
    for (Entry& e : drawing) e.material->RenderChunk(display, viewport, e.chunk.Get(), e.lights, e.transform, -1);
    RestoreRenderState(display);
}

const UId& AlphaBlendCache::AlphaBlendCacheID()
{
    static const UId id("414C5048-4142-4C45-8000-000000000001");
    return id;
}

void AlphaBlendCache::SetRenderState(Display* display)
{
    if (display == nullptr) return;
    savedBlend_ = display->GetAlphaBlendMode();
    display->GetAlphaBlendFunction(savedSource_, savedDestination_);
    savedAlphaTest_ = display->GetAlphaTestMode();
    savedDepthWrite_ = display->GetDepthWriteMode();
    display->SetAlphaBlendFunction(4, 5);
    display->SetAlphaTestMode(false);
    display->SetAlphaBlendMode(true);
    display->SetDepthWriteMode(false);
}

void AlphaBlendCache::RestoreRenderState(Display* display)
{
    if (display == nullptr) return;
    display->SetAlphaBlendFunction(savedSource_, savedDestination_);
    display->SetAlphaBlendMode(savedBlend_);
    display->SetAlphaTestMode(savedAlphaTest_);
    display->SetDepthWriteMode(savedDepthWrite_);
}

const UId& UnsortedAlphaBlendCache::UnsortedAlphaBlendCacheID()
{
    static const UId id("414C5048-4142-4C45-8000-000000000002");
    return id;
}

const UId& AlphaMaskCache::AlphaMaskCacheID()
{
    static const UId id("414C5048-4D41-534B-8000-000000000003");
    return id;
}

const UId& MaterialChunkCache::MaterialChunkCacheID()
{
    static const UId id("4D415443-4855-4E4B-8000-000000000004");
    return id;
}

RenderingCache* RenderingCacheManager::FindCache(const UId& kind) const
{
    for (const auto& cache : caches_)
        if (cache->GetKind() == kind) return cache.Get();
    return nullptr;
}

void RenderingCacheManager::AddCache(RenderingCache* cache)
{
    if (cache == nullptr) return;
    auto at =
        std::upper_bound(caches_.begin(), caches_.end(), cache->GetOrder(),
                         [](float order, const AutoReference<RenderingCache>& c) { return order < c->GetOrder(); });
    caches_.insert(at, AutoReference<RenderingCache>(cache));
}

void RenderingCacheManager::RemoveCache(const RenderingCache* cache)
{
    std::erase_if(caches_, [cache](const AutoReference<RenderingCache>& c) { return c.Get() == cache; });
}

void RenderingCacheManager::BeginFrame()
{
    for (const auto& cache : caches_) cache->BeginFrame();
}

void RenderingCacheManager::Render(Display* display, ViewPort* viewport)
{
    for (const auto& cache : std::vector<AutoReference<RenderingCache>>(caches_)) cache->Render(display, viewport);
}

}  // namespace Orvo
