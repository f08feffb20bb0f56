#pragma once
// Rendering caches: a material that must not draw a primitive at once (alpha-blended geometry, drawn
// after everything opaque) hands it to a cache; the render kernel's cache manager later asks every cache
// to draw what it collected, in the caches' ordering values. Caches are found by their kind's id, so that
// all materials share the one cache of a kind that the kernel holds.
//
// The engine's own caches collect primitives in arrival order and draw them so: the alpha-blend cache
// (which the program's sorted cache replaces), the unsorted alpha-blend cache, the alpha-mask cache and
// the material-chunk cache.
#include "engine/AutoReference.h"
#include "engine/GeometryChunk.h"
#include "engine/Material.h"
#include "engine/Matrix3.h"
#include "engine/PString.h"
#include "engine/ReferenceCount.h"
#include "engine/UId.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orvo {

class Display;
class LightList;
struct ViewPort;

class RenderingCache : public ReferenceCount
{
public:
    RenderingCache(const UId& kind, const PString& name, float order) : kind_(kind), name_(name), order_(order) {}

    const UId& GetKind() const { return kind_; }
    const PString& GetName() const { return name_; }
    float GetOrder() const { return order_; }

    // Drops what was collected; returns the cache.
    virtual RenderingCache* Reset() { return this; }
    virtual void BeginFrame() {}
    // Draws what was collected and drops it.
    virtual void Render(Display*, ViewPort*) {}
    virtual void Flush(Display* display, ViewPort* viewport) { Render(display, viewport); }
    // A nested frame opens (drawing into another target) and closes.
    virtual void Enter(Display*, ViewPort*, bool) {}
    virtual void Leave(Display*, ViewPort*, bool) {}
    virtual bool IsEmpty() const { return true; }
    // A primitive a material defers: it is drawn later through the material's RenderChunk.
    virtual void AddPrimitive(Display* display, ViewPort* viewport, Material* material, GeometryChunk* chunk,
                              const LightList* lights, const Matrix4& transform) = 0;
    virtual void SetRenderState(Display*) {}
    virtual void RestoreRenderState(Display*) {}

private:
    UId kind_;
    PString name_;
    float order_;
};

// A cache that collects primitives and draws them in arrival order between SetRenderState and
// RestoreRenderState.
class PrimitiveListCache : public RenderingCache
{
public:
    using RenderingCache::RenderingCache;
    ~PrimitiveListCache() override;

    RenderingCache* Reset() override;
    void BeginFrame() override { Reset(); }
    void Render(Display* display, ViewPort* viewport) override;
    bool IsEmpty() const override { return entries_.empty(); }
    void AddPrimitive(Display* display, ViewPort* viewport, Material* material, GeometryChunk* chunk,
                      const LightList* lights, const Matrix4& transform) override;
    size_t GetCount() const { return entries_.size(); }

protected:
    struct Entry
    {
        AutoReference<GeometryChunk> chunk;
        AutoReference<Material> material;
        Matrix4 transform;
        const LightList* lights = nullptr;
    };
    std::vector<Entry> entries_;
};

class AlphaBlendCache : public PrimitiveListCache
{
public:
    static const UId& AlphaBlendCacheID();
    explicit AlphaBlendCache(int) : PrimitiveListCache(AlphaBlendCacheID(), PString("AlphaBlendCache"), 50.0f) {}
    void SetRenderState(Display* display) override;
    void RestoreRenderState(Display* display) override;

protected:
    AlphaBlendCache(const UId& kind, const PString& name, float order) : PrimitiveListCache(kind, name, order) {}

private:
    bool savedBlend_ = false;
    int savedSource_ = 1;
    int savedDestination_ = 0;
    bool savedAlphaTest_ = false;
    bool savedDepthWrite_ = true;
};

class UnsortedAlphaBlendCache : public AlphaBlendCache
{
public:
    static const UId& UnsortedAlphaBlendCacheID();
    explicit UnsortedAlphaBlendCache(int)
        : AlphaBlendCache(UnsortedAlphaBlendCacheID(), PString("UnsortedAlphaBlendCache"), 60.0f)
    {}
};

class AlphaMaskCache : public PrimitiveListCache
{
public:
    static const UId& AlphaMaskCacheID();
    explicit AlphaMaskCache(int) : PrimitiveListCache(AlphaMaskCacheID(), PString("AlphaMaskCache"), 40.0f) {}
};

class MaterialChunkCache : public PrimitiveListCache
{
public:
    static const UId& MaterialChunkCacheID();
    explicit MaterialChunkCache(int) : PrimitiveListCache(MaterialChunkCacheID(), PString("MaterialChunkCache"), 10.0f)
    {}
};

class RenderingCacheManager
{
public:
    RenderingCacheManager() = default;
    ~RenderingCacheManager() { Clear(); }
    RenderingCacheManager(const RenderingCacheManager&) = delete;
    RenderingCacheManager& operator=(const RenderingCacheManager&) = delete;

    // The first cache of that kind (no reference added), or null.
    RenderingCache* FindCache(const UId& kind) const;
    // Keeps the cache (one reference); caches are drawn in rising ordering value, equal values in the
    // order they were added.
    void AddCache(RenderingCache* cache);
    // Lets go of a cache AddCache kept; nothing when it is not kept.
    void RemoveCache(const RenderingCache* cache);
    const std::vector<AutoReference<RenderingCache>>& GetCaches() const { return caches_; }
    void BeginFrame();
    // Every cache draws what it collected.
    void Render(Display* display, ViewPort* viewport);
    void Clear() { caches_.clear(); }

private:
    std::vector<AutoReference<RenderingCache>> caches_;
};

}  // namespace Orvo
