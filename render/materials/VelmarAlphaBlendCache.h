#pragma once
// The program's sorted alpha-blend cache. Primitives are collected into 200 buckets by their distance
// from the camera (0 to 1000 units, 5 units a bucket; nearer and farther ones go to the first and the
// last bucket) and drawn from the farthest bucket to the nearest, each bucket from its greatest distance
// to its smallest (of equal distances the one added last first). Primitives nearer than 350 units
// (buckets 0 to 69) have their triangles (lines, points) sorted back to front into an index list of
// their own, strips and fans becoming lists.
//
// Frames nest: a nested Enter opens 200 fresh buckets above the current ones, and the matching Leave
// draws and closes them, so what the outer frame collected waits for the outer frame's drawing.
#include "engine/AutoReference.h"
#include "engine/GeometryChunk.h"
#include "engine/Material.h"
#include "engine/RenderingCache.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace Orvo {

class VelmarAlphaBlendCache : public AlphaBlendCache
{
public:
    static constexpr uint32_t kBucketsPerFrame = 200;
    static constexpr float kFarDistance = 1000.0f;
    static constexpr float kBucketsPerUnit = 0.2f;
    static constexpr uint32_t kTriangleSortBuckets = 70;

    // One sort entry: a primitive and its squared distance from the camera.
    struct SortEntry
    {
        uint32_t primitive;
        float distance2;
    };
    using SortCompare = int (*)(const void*, const void*);

    VelmarAlphaBlendCache();
    ~VelmarAlphaBlendCache() override;

    RenderingCache* Reset() override;
    void BeginFrame() override {}
    void Render(Display* display, ViewPort* viewport) override;
    void Enter(Display* display, ViewPort* viewport, bool nested) override;
    // A Leave without its Enter draws the frame and stays at the outermost one.
    void Leave(Display* display, ViewPort* viewport, bool nested) override;
    bool IsEmpty() const override;
    void AddPrimitive(Display* display, ViewPort* viewport, Material* material, GeometryChunk* chunk,
                      const LightList* lights, const Matrix4& transform) override;
    // Kept for the engine: nothing here reads it. Returns the distance's bucket.
    uint32_t SetSortDistance(float distance);
    // Orders sort entries by squared distance, greatest first.
    static SortCompare GetSortCompare();
    // Blending on with depth writes and alpha testing off while the cache draws; what the display had is
    // put back afterwards.
    void SetRenderState(Display* display) override;
    void RestoreRenderState(Display* display) override;

    // ---- what tests and the benchmark look at ----
    size_t GetBucketCount() const { return buckets_.size(); }
    uint32_t GetFrameBase() const { return frameBase_; }
    // The entries of bucket i of the current frame.
    size_t GetBucketEntryCount(uint32_t i) const;
    // The bucket a distance falls in.
    static uint32_t BucketOf(float distance);
    // The distance of a transform's translation (the fast reciprocal square root with one Newton step).
    static float DistanceOf(const Matrix4& transform);

    // One collected primitive.
    struct Node
    {
        AutoReference<GeometryChunk> chunk;
        AutoReference<Material> material;
        const LightList* lights = nullptr;
        Matrix4 transform;
        std::unique_ptr<uint16_t[]> indices;  // the sorted index list, when there is one
        uint32_t indexCount = 0;
        uint32_t primitiveCount = 0;
        uint32_t primitiveKind = 0;
        float key = 0.0f;
    };
    // Fills the node's sorted index list (nothing for a chunk with no whole primitive).
    void SortTriangles(Node& node);

private:
    // Ordered by key; equal keys keep the order they were added in.
    using Bucket = std::multimap<float, Node*>;

    void EmptyBucket(Bucket& bucket);
    void GrowFrames();

    std::vector<Bucket> buckets_;
    uint32_t frameBase_ = 0;
    float sortDistance_ = 250.0f;
    uint32_t sortBucket_ = 50;
    std::vector<Node*> free_;  // nodes kept for reuse
    std::vector<SortEntry> scratch_;
    bool savedBlend_ = false;
    int savedSource_ = 1;
    int savedDestination_ = 0;
    bool savedAlphaTest_ = false;
    bool savedDepthWrite_ = true;
};

// The program's unsorted alpha-blend cache: primitives drawn in the order they arrived, blended with
// source alpha and one minus source alpha. Whoever makes one hands it to what draws through it.
class AlphaBlendCacheUnsorted : public AlphaBlendCache
{
public:
    static const UId& AlphaBlendCacheUnsortedID();
    AlphaBlendCacheUnsorted();
};

}  // namespace Orvo
