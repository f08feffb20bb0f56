// The collision tree of a mesh definition: the geometry the tree reads and its background build.
#include "render/MeshCollisionGeometry.h"
#include "render/MeshTriangles.h"
#include "render/OverlappedResource.h"

#include <algorithm>

using namespace Orvo;

MeshCollisionGeometry::MeshCollisionGeometry(const ChunkArray& chunks, uint32_t chunkCount) : chunks_(chunks)
{
    uint64_t total = 0;
    for (uint32_t c = 0; c < chunkCount && c < chunks_.Count(); ++c)
    {
        first_.push_back(total);
        triangles_.push_back(chunks_[c] ? ChunkTriangles(*chunks_[c]) : ChunkTriangles());
        total += triangles_.back().Count();
    }
    first_.push_back(total);
}

bool MeshCollisionGeometry::Decode(uint32_t id, uint32_t& chunk, uint32_t& triangle) const
{
    if ((id & 0xFFFFu) % 3 != 0 || (id & 0xFFFFu) / 3 >= kPerBlock) return false;
    const uint64_t g = uint64_t(id >> 16) * kPerBlock + (id & 0xFFFFu) / 3;
    if (first_.empty() || g >= first_.back()) return false;
    // The chunk whose range holds g (empty chunks have empty ranges).
    const auto it = std::upper_bound(first_.begin(), first_.end() - 1, g);
    chunk = uint32_t(it - first_.begin() - 1);
    triangle = uint32_t(g - first_[chunk]);
    return true;
}

bool MeshCollisionGeometry::GetTriangle(uint32_t id, Vector3& a, Vector3& b, Vector3& c) const
{
    uint32_t chunk = 0, triangle = 0;
    if (!Decode(id, chunk, triangle)) return false;
    Vector3 corners[3];
    if (!triangles_[chunk].Corners(triangle, corners)) return false;
    a = corners[0];
    b = corners[1];
    c = corners[2];
    return true;
}

void MeshCollisionGeometry::AddTriangles(VLAxisBoxTree& tree) const
{
    const uint64_t total = std::min<uint64_t>(first_.empty() ? 0 : first_.back(), kMaxTriangles);
    for (uint32_t chunk = 0; chunk + 1 < first_.size() && first_[chunk] < total; ++chunk)
    {
        if (first_[chunk] == first_[chunk + 1]) continue;
        const ChunkTriangles& triangles = triangles_[chunk];
        const uint64_t end = std::min(first_[chunk + 1], total);
        for (uint64_t g = first_[chunk]; g < end; ++g)
        {
            Vector3 corners[3];
            if (!triangles.Corners(uint32_t(g - first_[chunk]), corners)) continue;
            const float f[9] = {corners[0].x, corners[0].y, corners[0].z, corners[1].x, corners[1].y,
                                corners[1].z, corners[2].x, corners[2].y, corners[2].z};
            tree.AddTriangle(f, EncodeId(g));
        }
    }
}

bool VelmarIndexedMeshDefinition::BuildCollisionWork(void* argument)
{
    auto* self = static_cast<VelmarIndexedMeshDefinition*>(argument);
    auto tree = std::make_unique<VLAxisBoxTree>();
    tree->BeginBuild(self->collisionGeometry_.get());
    self->collisionGeometry_->AddTriangles(*tree);
    if (!tree->FinishBuild()) return false;
    self->builtTree_ = std::move(tree);
    return true;
}

bool VelmarIndexedMeshDefinition::TakeCollisionWork(void* argument)
{
    // On the requester's thread, which holds the collision lock (or destroys the definition).
    auto* self = static_cast<VelmarIndexedMeshDefinition*>(argument);
    self->collisionTree_ = std::move(self->builtTree_);
    return self->collisionTree_ != nullptr;
}

const VLAxisBoxTree* VelmarIndexedMeshDefinition::GetCollisionTree(OverlappedResourceSystem* background)
{
    std::lock_guard<std::mutex> hold(collisionLock_);
    if (collisionTree_ || collisionFailed_) return collisionTree_.get();
    if (!collisionRequest_)
    {
        if (background == nullptr) return nullptr;
        if (!collisionGeometry_) collisionGeometry_ = std::make_unique<MeshCollisionGeometry>(chunks_, chunkCount_);
        collisionRequest_ = std::make_unique<Overlapped>();
        OverlappedResourceSystem::Submit(*collisionRequest_, background, &BuildCollisionWork, &TakeCollisionWork, this,
                                         name_.str());
        return nullptr;
    }
    const OverlappedResource::State state = collisionRequest_->GetRequest()->GetState();
    if (state == OverlappedResource::StateQueued || state == OverlappedResource::StateRunning) return nullptr;
    // Processed, or never queued: finished here.
    if (!OverlappedResourceSystem::Step(collisionRequest_->GetRequest())) collisionFailed_ = true;
    collisionRequest_.reset();
    if (!collisionTree_) collisionFailed_ = true;
    return collisionTree_.get();
}

const VLAxisBoxTree* VelmarIndexedMeshDefinition::FinishCollisionTree(OverlappedResourceSystem* background)
{
    if (const VLAxisBoxTree* tree = GetCollisionTree(background)) return tree;
    std::lock_guard<std::mutex> hold(collisionLock_);
    if (!collisionRequest_) return collisionTree_.get();
    if (!OverlappedResourceSystem::Step(collisionRequest_->GetRequest())) collisionFailed_ = true;
    collisionRequest_.reset();
    if (!collisionTree_) collisionFailed_ = true;
    return collisionTree_.get();
}

bool VelmarIndexedMeshDefinition::DecodeCollisionId(uint32_t id, uint32_t& chunk, uint32_t& triangle) const
{
    return collisionGeometry_ && collisionGeometry_->Decode(id, chunk, triangle);
}
