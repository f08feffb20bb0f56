// What a mesh definition works out once its data is read: the skeleton made from the influence
// definitions, the bone weights written into the chunks, the bounds, the texture detail bias and the
// oriented box.
#include "engine/Particle.h"
#include "render/ColourVector.h"
#include "render/VelmarIndexedMeshDefinition.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using namespace Orvo;

namespace {

// A weight as the byte of the packed form: weight x 255 as an integer, held to 0 ... 255 (a weight that is
// not a number gives 0).
uint8_t WeightByte(float weight)
{
    const float scaled = weight * 255.0f;
    return scaled >= 255.0f ? 255 : (scaled > 0.0f ? uint8_t(int(scaled)) : 0);
}

bool IsInSubtreeOf(const Particle* node, const Particle* ancestor)
{
    for (const Particle* p = node; p != nullptr; p = p->GetParent())
        if (p == ancestor) return true;
    return false;
}

}  // namespace

void VelmarIndexedMeshDefinition::BuildBonesFromInfluences()
{
    if (influences_.empty()) return;
    std::vector<ParticleBone*> bones;
    bones.reserve(influences_.size());
    ParticleBone* root = nullptr;
    for (InfluenceDefinition& d : influences_)
    {
        auto* bone = new ParticleBone();
        bone->SetName(d.name);
        bone->SetFramePosition(d.position);
        bone->SetFrameOrientation(Quaternion(d.orientation));
        bone->SetBoundingBox(AxisBox(Vector3(-0.01f, -0.01f, -0.01f), Vector3(0.01f, 0.01f, 0.01f)), true);
        bones.push_back(bone);
        if (d.parentName.empty())
        {
            if (root == nullptr)
                root = bone;
            else
                d.parentName = root->GetName();
        }
    }
    if (root == nullptr)
    {
        for (ParticleBone* b : bones) delete b;
        return;
    }
    for (size_t i = 0; i < bones.size(); ++i)
    {
        if (bones[i] == root) continue;
        InfluenceDefinition& d = influences_[i];
        ParticleBone* parent = nullptr;
        for (ParticleBone* b : bones)
            if (b->GetName() == d.parentName)
            {
                parent = b;
                break;
            }
        // A bone that names no bone, itself, or one of its own descendants hangs on the root instead, so
        // that every bone ends up in the one tree.
        if (parent == nullptr || IsInSubtreeOf(parent, bones[i]))
        {
            if (parent == nullptr) d.parentName = root->GetName();
            parent = root;
        }
        parent->AddChild(bones[i]);
    }
    SetSkeleton(root);
    influenceBones_ = bones;
}

void VelmarIndexedMeshDefinition::ApplyGroup(GeometryChunk& chunk, const Particle* bone, const InfluenceGroup& group,
                                             std::vector<uint8_t>& placed)
{
    if (group.entries.empty() || (chunk.GetFlags() & GeometryChunk::FlagNoInfluences) ||
        chunk.GetNumVertices() < group.entries.size())
        return;
    const VertexItemPtr indices = chunk.GetItem(ItemBlendIndices);
    VertexItemPtr weights;
    uint32_t positions = 0;
    bool packed = false;
    for (uint32_t n = 4; n >= 1 && !weights; --n)
        if ((weights = chunk.GetItem(ItemBlendWeight1 + n - 1))) positions = n;
    if (!weights && (weights = chunk.GetItem(ItemPackedWeights)))
    {
        positions = 4;
        packed = true;
    }
    if (!indices || !weights) return;  // the chunk holds no blend data
    const uint32_t slot = chunk.AddInfluenceMatrix(bone);
    if (slot * 3 >= 254) return;  // the index byte cannot name this slot
    if (placed.size() < chunk.GetNumVertices()) placed.resize(chunk.GetNumVertices(), 0);
    const uint8_t index = uint8_t(slot * 3);
    for (const InfluenceEntry& e : group.entries)
    {
        if (e.vertex >= chunk.GetNumVertices()) continue;  // names no vertex of the chunk
        uint8_t* b = indices.address + size_t(e.vertex) * indices.stride;
        uint8_t* w = weights.address + size_t(e.vertex) * weights.stride;
        auto weightAt = [&](int p) {
            float f = 0.0f;
            if (packed)
                f = float(w[p]) / 255.0f;
            else
                std::memcpy(&f, w + 4 * p, 4);
            return f;
        };
        // Restarts the vertex with one influence: weight position 0, index word (index) + 0xFE00.
        auto restart = [&](uint8_t restartIndex, float weight, uint8_t packedWeight) {
            b[0] = restartIndex;
            b[1] = 254;
            b[2] = b[3] = 0;
            if (packed)
            {
                const uint32_t word = packedWeight;
                std::memcpy(w, &word, 4);
            }
            else
            {
                float f[4] = {weight, 0.0f, 0.0f, 0.0f};
                std::memcpy(w, f, 4 * positions);
            }
            placed[e.vertex] = 1;
        };
        uint8_t& held = placed[e.vertex];
        int at = -1;
        if (held > 0 && held < positions)
            for (int p = int(positions) - 1; p >= 1; --p)
                if (b[p] == 254)
                {
                    at = p;
                    break;
                }
        if (held == 0)
        {
            restart(index, e.weight, WeightByte(e.weight));
            continue;
        }
        if (at < 0)
        {
            // Every position is taken: the strongest of the held influences and this one is kept alone.
            int strongest = 0;
            for (int p = 1; p < int(positions); ++p)
                if (weightAt(p) > weightAt(strongest)) strongest = p;
            if (e.weight > weightAt(strongest))
                restart(index, e.weight, WeightByte(e.weight));
            else
                restart(b[strongest], weightAt(strongest), packed ? w[strongest] : 0);
            continue;
        }
        b[at] = index;
        if (at + 1 < int(positions)) b[at + 1] = 254;
        if (packed)
            w[at] = WeightByte(e.weight);
        else
            std::memcpy(w + 4 * at, &e.weight, 4);
        ++held;
    }
}

void VelmarIndexedMeshDefinition::ApplyInfluences()
{
    std::vector<std::vector<uint8_t>> placed(chunkCount_);  // influences held per vertex of each chunk
    for (size_t i = 0; i < influences_.size(); ++i)
    {
        const Particle* bone = i < influenceBones_.size() ? influenceBones_[i] : nullptr;
        for (const InfluenceGroup& g : influences_[i].groups)
            if (g.chunk < chunkCount_ && chunks_[g.chunk]) ApplyGroup(*chunks_[g.chunk], bone, g, placed[g.chunk]);
    }
}

void VelmarIndexedMeshDefinition::ComputeBounds(const ChunkArray& chunks, uint32_t count)
{
    const float big = std::numeric_limits<float>::max();
    Vector3 low(big, big, big), high(-big, -big, -big);
    for (uint32_t i = 0; i < count && i < chunks.Count(); ++i)
    {
        GeometryChunk* c = chunks[i].Get();
        const VertexItemPtr p = c ? c->GetItem(ItemPosition) : VertexItemPtr();
        if (!p) continue;
        for (uint32_t v = 0; v < c->GetNumVertices(); ++v)
        {
            Vector3 q;
            std::memcpy(&q, p.address + size_t(v) * p.stride, 12);
            low = Vector3::Min(low, q);
            high = Vector3::Max(high, q);
        }
    }
    if (low.x == big) low = high = Vector3();
    boundsLow_ = low;
    boundsHigh_ = high;
}

void VelmarIndexedMeshDefinition::ComputeTextureDetailBias()
{
    float sum = 0.0f, weight = 0.0f, largest = 0.0f;
    for (uint32_t i = 0; i < chunkCount_; ++i)
    {
        GeometryChunk* c = chunks_[i].Get();
        const VertexItemPtr p = c->GetItem(ItemPosition);
        const VertexItemPtr t = c->GetItem(ItemTexture0);
        const uint16_t* idx = c->GetIndexArray();
        if (!p || !t || idx == nullptr) continue;
        for (uint32_t tri = 0; tri < c->GetNumIndices() / 3; ++tri)
        {
            Vector3 q[3];
            Vector2 uv[3];
            bool inside = true;
            for (int k = 0; k < 3; ++k)
            {
                const uint16_t v = idx[3 * tri + k];
                if (v >= c->GetNumVertices()) inside = false;
                if (!inside) break;
                std::memcpy(&q[k], p.address + size_t(v) * p.stride, 12);
                std::memcpy(&uv[k], t.address + size_t(v) * t.stride, 8);
            }
            if (!inside) continue;
            const float e1 = VectorLength(q[1] - q[0]);
            const float e2 = VectorLength(q[2] - q[0]);
            const float u1 = (uv[1] - uv[0]).Length();
            const float u2 = (uv[2] - uv[0]).Length();
            if (!(std::fabs(u1 * u2) > 0.00001f)) continue;
            const float r1 = e1 / u1, r2 = e2 / u2;
            const float a = e1 * e2 * 0.5f;
            sum += a * (r1 + r2);
            weight += 2.0f * a;
            largest = std::max(largest, std::max(r1, r2));
        }
    }
    const float average = weight != 0.0f ? sum / weight : 0.0f;
    textureDetailBias_ = std::min(8.0f * average, largest);
}

void VelmarIndexedMeshDefinition::BuildOrientedBox(const ChunkArray& chunks, uint32_t count)
{
    std::vector<Vector3> points;
    for (uint32_t i = 0; i < count && i < chunks.Count(); ++i)
    {
        GeometryChunk* c = chunks[i].Get();
        const VertexItemPtr p = c ? c->GetItem(ItemPosition) : VertexItemPtr();
        if (!p) continue;
        for (uint32_t v = 0; v < c->GetNumVertices(); ++v)
        {
            Vector3 q;
            std::memcpy(&q, p.address + size_t(v) * p.stride, 12);
            points.push_back(q);
        }
    }
    orientedBox_.Build(points.data(), points.size(), sizeof(Vector3));
}
