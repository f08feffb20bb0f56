#include "render/materials/VelmarAlphaBlendCache.h"

#include "engine/Display.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace Orvo {

VelmarAlphaBlendCache::VelmarAlphaBlendCache()
    : AlphaBlendCache(AlphaBlendCacheID(), PString("VelmarAlphaBlendCache"), 50.0f)
{
    GrowFrames();
    Reset();
}

VelmarAlphaBlendCache::~VelmarAlphaBlendCache()
{
    for (Bucket& bucket : buckets_) EmptyBucket(bucket);
    for (Node* node : free_) delete node;
}

void VelmarAlphaBlendCache::GrowFrames() { buckets_.resize(buckets_.size() + kBucketsPerFrame); }

void VelmarAlphaBlendCache::EmptyBucket(Bucket& bucket)
{
    for (auto& [key, node] : bucket)
    {
        node->chunk.Reset();
        node->material.Reset();
        node->indices.reset();
        free_.push_back(node);
    }
    bucket.clear();
}

RenderingCache* VelmarAlphaBlendCache::Reset()
{
    for (uint32_t i = 0; i < kBucketsPerFrame; ++i) EmptyBucket(buckets_[frameBase_ + i]);
    return this;
}

void VelmarAlphaBlendCache::Enter(Display*, ViewPort*, bool nested)
{
    if (nested)
    {
        frameBase_ += kBucketsPerFrame;
        if (frameBase_ == buckets_.size()) GrowFrames();
    }
    Reset();
}

void VelmarAlphaBlendCache::Leave(Display* display, ViewPort* viewport, bool nested)
{
    if (!nested) return;
    Render(display, viewport);
    if (frameBase_ >= kBucketsPerFrame) frameBase_ -= kBucketsPerFrame;
}

bool VelmarAlphaBlendCache::IsEmpty() const
{
    for (uint32_t i = 0; i < kBucketsPerFrame; ++i)
        if (!buckets_[frameBase_ + i].empty()) return false;
    return true;
}

size_t VelmarAlphaBlendCache::GetBucketEntryCount(uint32_t i) const
{
    return i < kBucketsPerFrame ? buckets_[frameBase_ + i].size() : 0;
}

uint32_t VelmarAlphaBlendCache::SetSortDistance(float distance)
{
    sortDistance_ = distance;
    const float f = distance * kBucketsPerUnit;
    sortBucket_ = f >= 0.0f && f < 4294967040.0f ? uint32_t(f) : 0;
    return sortBucket_;
}

float VelmarAlphaBlendCache::DistanceOf(const Matrix4& transform)
{
    const float x = transform.m[3][0], y = transform.m[3][1], z = transform.m[3][2];
    const float s = x * x + y * y + z * z;
    uint32_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    bits = 0x5F3759DFu - (bits >> 1);
    float r;
    std::memcpy(&r, &bits, sizeof r);
    r = r * (1.5f - 0.5f * s * r * r);
    return s * r;
}

uint32_t VelmarAlphaBlendCache::BucketOf(float distance)
{
    const float f = distance * (float(kBucketsPerFrame) / kFarDistance);
    if (f < 0.0f) return 0;
    // Too far, and what is no distance at all (not a number), go to the last bucket.
    if (!(f < float(kBucketsPerFrame))) return kBucketsPerFrame - 1;
    return uint32_t(f);
}

namespace {

int CompareFarFirst(const void* a, const void* b)
{
    const float da = static_cast<const VelmarAlphaBlendCache::SortEntry*>(a)->distance2;
    const float db = static_cast<const VelmarAlphaBlendCache::SortEntry*>(b)->distance2;
    return da > db ? -1 : (da < db ? 1 : 0);
}

// The shape of one primitive type: vertices a primitive, index step, primitive count for c indices, and
// the list kind its sorted index list is drawn as.
struct PrimitiveShape
{
    uint32_t vertices = 0;
    uint32_t step = 0;
    uint32_t count = 0;
    uint32_t listKind = 0;
};

PrimitiveShape ShapeOf(uint32_t type, uint32_t indices, uint32_t primitives)
{
    switch (type)
    {
    case 0: return {1, 1, indices, GeometryChunk::PointList};
    case 1: return {2, 2, indices / 2, GeometryChunk::LineList};
    case 2: return {2, 1, indices >= 2 ? indices - 1 : 0, GeometryChunk::LineList};
    case GeometryChunk::PrimitiveList: return {3, 3, std::min(primitives, indices / 3), GeometryChunk::TriangleList};
    case GeometryChunk::PrimitiveStrip:
    case GeometryChunk::PrimitiveFan: return {3, 1, indices >= 3 ? indices - 2 : 0, GeometryChunk::TriangleList};
    default: return {};
    }
}

}  // namespace

VelmarAlphaBlendCache::SortCompare VelmarAlphaBlendCache::GetSortCompare() { return &CompareFarFirst; }

void VelmarAlphaBlendCache::SortTriangles(Node& node)
{
    GeometryChunk* chunk = node.chunk.Get();
    const uint32_t type = chunk->GetFlags() & GeometryChunk::PrimitiveMask;
    const uint16_t* source = chunk->GetIndexArray();
    const uint32_t available = source ? chunk->GetNumIndices() : 0;
    const PrimitiveShape shape = ShapeOf(type, available, chunk->GetNumPrimitives());
    const VertexItemPtr positions = chunk->GetItem(ItemPosition);
    if (shape.count == 0 || !positions) return;
    if (scratch_.size() < shape.count) scratch_.resize(shape.count);

    // The camera (the view's origin) in the chunk's space: -t times the transposed rotation.
    const Matrix4& m = node.transform;
    const Vector3 t(m.m[3][0], m.m[3][1], m.m[3][2]);
    Vector3 camera;
    for (int j = 0; j < 3; ++j) camera[j] = -(t.x * m.m[j][0] + t.y * m.m[j][1] + t.z * m.m[j][2]);

    const bool fan = type == GeometryChunk::PrimitiveFan;
    const uint32_t vertexCount = chunk->GetNumVertices();
    auto corner = [&](uint32_t primitive, uint32_t k) -> uint16_t {
        if (fan) return k == 0 ? source[0] : source[primitive + k];
        return source[primitive * shape.step + k];
    };
    auto position = [&](uint16_t index) {
        Vector3 p;
        if (index < vertexCount) std::memcpy(&p, positions.address + size_t(index) * positions.stride, sizeof p);
        return p;
    };
    const float share = 1.0f / float(shape.vertices);
    for (uint32_t j = 0; j < shape.count; ++j)
    {
        Vector3 centre;
        for (uint32_t k = 0; k < shape.vertices; ++k) centre += position(corner(j, k));
        scratch_[j] = {j, (centre * share - camera).LengthSquared()};
    }
    std::qsort(scratch_.data(), shape.count, sizeof(SortEntry), GetSortCompare());
    // The middle of the sorted range, as a distance like every other key of the bucket.
    node.key = std::sqrt(0.5f * (scratch_[0].distance2 + scratch_[shape.count - 1].distance2));

    node.indexCount = shape.vertices * shape.count;
    node.indices.reset(new uint16_t[node.indexCount]);
    uint16_t* out = node.indices.get();
    const bool strip = type == GeometryChunk::PrimitiveStrip;
    for (uint32_t n = 0; n < shape.count; ++n)
    {
        const uint32_t j = scratch_[n].primitive;
        if (strip && (j & 1))
            for (uint32_t k = shape.vertices; k > 0; --k) *out++ = corner(j, k - 1);
        else
            for (uint32_t k = 0; k < shape.vertices; ++k) *out++ = corner(j, k);
    }
    node.primitiveCount = shape.count;
    node.primitiveKind = shape.listKind;
}

void VelmarAlphaBlendCache::AddPrimitive(Display*, ViewPort*, Material* material, GeometryChunk* chunk,
                                         const LightList* lights, const Matrix4& transform)
{
    if (material == nullptr || chunk == nullptr) return;
    const float distance = DistanceOf(transform);
    const uint32_t bucket = BucketOf(distance);
    Node* node = nullptr;
    if (!free_.empty())
    {
        node = free_.back();
        free_.pop_back();
    }
    else
        node = new Node();
    node->chunk = chunk;
    node->material = material;
    node->lights = lights;
    node->transform = transform;
    node->indices.reset();
    node->indexCount = 0;
    node->key = distance;
    node->primitiveCount = chunk->GetNumPrimitives();
    node->primitiveKind = GeometryChunk::PrimitiveKindOf(chunk->GetFlags());
    if (bucket < kTriangleSortBuckets) SortTriangles(*node);
    // upper_bound: a key equal to one already there goes after it.
    Bucket& b = buckets_[frameBase_ + bucket];
    b.emplace_hint(b.upper_bound(node->key), node->key, node);
}

void VelmarAlphaBlendCache::Render(Display* display, ViewPort* viewport)
{
    SetRenderState(display);
    for (uint32_t i = kBucketsPerFrame; i > 0; --i)
    {
        Bucket& bucket = buckets_[frameBase_ + i - 1];
        for (auto it = bucket.rbegin(); it != bucket.rend(); ++it)
        {
            Node& n = *it->second;
            if (display) display->SetAlphaBlendFunction(4, 5);
            if (n.indices)
                n.material->RenderPrimitives(display, viewport, n.chunk.Get(), n.lights, n.transform, n.indexCount,
                                             n.indices.get(), n.primitiveCount, n.primitiveKind, -1);
            else
                n.material->RenderChunk(display, viewport, n.chunk.Get(), n.lights, n.transform, -1);
        }
        EmptyBucket(bucket);
    }
    RestoreRenderState(display);
}

void VelmarAlphaBlendCache::SetRenderState(Display* display)
{
    if (display == nullptr) return;
    savedBlend_ = display->GetAlphaBlendMode();
    display->GetAlphaBlendFunction(savedSource_, savedDestination_);
    savedAlphaTest_ = display->GetAlphaTestMode();
    savedDepthWrite_ = display->GetDepthWriteMode();
    display->SetAlphaTestMode(false);
    display->SetAlphaBlendMode(true);
    display->SetDepthWriteMode(false);
}

void VelmarAlphaBlendCache::RestoreRenderState(Display* display)
{
    if (display == nullptr) return;
    display->SetAlphaBlendFunction(savedSource_, savedDestination_);
    display->SetAlphaBlendMode(savedBlend_);
    display->SetAlphaTestMode(savedAlphaTest_);
    display->SetDepthWriteMode(savedDepthWrite_);
}

// ---- the unsorted cache ----

const UId& AlphaBlendCacheUnsorted::AlphaBlendCacheUnsortedID()
{
    static const UId id("414C5048-5553-4F52-8000-564C4D415231");
    return id;
}

AlphaBlendCacheUnsorted::AlphaBlendCacheUnsorted()
    : AlphaBlendCache(AlphaBlendCacheUnsortedID(), PString("AlphaBlendCacheUnsorted"), 55.0f)
{}

}  // namespace Orvo
