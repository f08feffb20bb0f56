// VelmarIndexedMeshInstance: face queries and the ray test (collision).
#include "engine/StdMath.h"
#include "render/MeshTriangles.h"
#include "render/VLAxisBoxTree.h"
#include "render/VelmarIndexedMeshInstance.h"
#include "render/VelmarMeshResources.h"

#include <cfloat>
#include <cmath>
#include <cstring>

using namespace Orvo;

void VelmarIndexedMeshInstance::GetFaceVertex(Vector3& out, const ConstFaceDescriptor& face, uint32_t corner) const
{
    GeometryChunk* chunk = GetChunk(face.chunk);
    if (chunk == nullptr || face.chunk >= chunkCount_ || corner > 2) return;
    Vector3 corners[3];
    if (ChunkTriangleCorners(*chunk, face.triangle, corners)) out = corners[corner];
}

void VelmarIndexedMeshInstance::GetFaceNormal(Vector3& out, const ConstFaceDescriptor& face) const
{
    GeometryChunk* chunk = GetChunk(face.chunk);
    if (chunk == nullptr || face.chunk >= chunkCount_) return;
    if (const float* normals = chunk->GetFaceNormalArray())
    {
        if (face.triangle < chunk->GetNumFaces())
        {
            const float* n = normals + 3 * size_t(face.triangle);
            out = Vector3(n[0], n[1], n[2]);
        }
        return;
    }
    Vector3 c[3];
    if (!ChunkTriangleCorners(*chunk, face.triangle, c)) return;
    const Vector3 n = (c[1] - c[0]).Cross(c[2] - c[0]);
    const float s = n.LengthSquared();
    out = s > 1e-9f ? n * StdMath::InvSqrt(s) : Vector3(1.0f, 0.0f, 0.0f);
}

void VelmarIndexedMeshInstance::GetFaceCentre(Vector3& out, const ConstFaceDescriptor& face) const
{
    GeometryChunk* chunk = GetChunk(face.chunk);
    Vector3 c[3];
    if (chunk == nullptr || face.chunk >= chunkCount_ || !ChunkTriangleCorners(*chunk, face.triangle, c)) return;
    out = (c[0] + c[1] + c[2]) * 0.33333334f;
}

bool VelmarIndexedMeshInstance::GetFaceNeighbour(ConstFaceDescriptor& out, const ConstFaceDescriptor& face,
                                                 uint32_t edge) const
{
    const GeometryChunk* chunk = GetChunk(face.chunk);
    if (chunk == nullptr || face.chunk >= chunkCount_ || edge > 2) return false;
    const uint32_t* records = chunk->GetFaceNeighborArray();
    if (records == nullptr || face.triangle >= chunk->GetNumFaceNeighbors()) return false;
    const uint32_t record = records[3 * size_t(face.triangle) + edge];
    if (record == 0xFFFFFFFFu) return false;
    out.geometry = this;
    out.triangle = record & 0xFFFFu;
    out.chunk = record >> 16;
    return true;
}

Material* VelmarIndexedMeshInstance::GetFaceMaterial(const ConstFaceDescriptor& face) const
{
    return face.chunk < chunkCount_ ? GetMaterial(face.chunk) : nullptr;
}

namespace {

// The ray against one triangle (corners a, b, c): the distance goes to `best` when the triangle is hit
// nearer than it, and never behind the origin. One-sided triangles are hit only from the side from which
// their corners run anticlockwise.
bool HitTriangle(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& o, const Vector3& d,
                 bool twoSided, float& best)
{
    const Vector3 e1 = b - a, e2 = c - a;
    const Vector3 p = d.Cross(e2);
    const float det = e1.Dot(p);
    const Vector3 s = o - a;
    float t;
    if (!twoSided)
    {
        if (det < 1e-6f) return false;
        const float u = s.Dot(p);
        if (u < 0.0f || u > det) return false;
        const Vector3 q = s.Cross(e1);
        const float v = d.Dot(q);
        if (v < 0.0f || u + v > det) return false;
        t = e2.Dot(q) / det;
    }
    else
    {
        if (det > -1e-6f && det < 1e-6f) return false;
        const float inverse = 1.0f / det;
        const float u = s.Dot(p) * inverse;
        if (u < 0.0f || u > 1.0f) return false;
        const Vector3 q = s.Cross(e1);
        const float v = d.Dot(q) * inverse;
        if (v < 0.0f || u + v > 1.0f) return false;
        t = e2.Dot(q) * inverse;
    }
    if (!(t >= 0.0f && t < best)) return false;  // behind the origin, not nearer, or not a number
    best = t;
    return true;
}

}  // namespace

bool VelmarIndexedMeshInstance::TestCollisionGeometry(const Ray& given, float& distance, ConstFaceDescriptor& face)
{
    Ray ray = given;
    if (scaled_)
    {
        if (scale_.x == 0.0f || scale_.y == 0.0f || scale_.z == 0.0f) return false;
        ray.origin = Vector3(ray.origin.x / scale_.x, ray.origin.y / scale_.y, ray.origin.z / scale_.z);
        ray.direction =
            Vector3(ray.direction.x / scale_.x, ray.direction.y / scale_.y, ray.direction.z / scale_.z).Normalised();
    }
    float boxDistance = 0.0f;
    if (!orientedBox_.IntersectRay(ray, distance, boxDistance)) return false;

    // The collision tree of an indexed mesh's definition, once the background build its owner asked for
    // is done (a LOD instance tests the triangles of its selected level); an instance asks for none.
    const VLAxisBoxTree* tree = definition_ && dynamic_cast<VelmarIndexedMeshResource*>(resource_.Get())
                                    ? definition_->GetCollisionTree(nullptr)
                                    : nullptr;
    if (tree != nullptr)
    {
        constexpr float kReach = 5000.0f;
        VLSegmentHit hit;
        if (!tree->IntersectSegment(ray.origin, ray.At(kReach), hit)) return false;
        const float at = hit.t * kReach;
        if (!(distance > at)) return false;
        uint32_t chunk = 0, triangle = 0;
        if (!definition_->DecodeCollisionId(hit.id, chunk, triangle)) return false;
        face.geometry = this;
        face.triangle = triangle;
        face.chunk = chunk;
        distance = at;
        return true;
    }

    float best = distance;
    int32_t bestTriangle = -1, bestChunk = -1;
    for (uint32_t c = 0; c < chunkCount_ && c < chunks_.Count(); ++c)
    {
        GeometryChunk* chunk = chunks_[c].Get();
        if (chunk == nullptr) continue;
        const Material* material = GetMaterial(c);
        const bool twoSided = material && (material->GetFlags() & 1);
        const ChunkTriangles triangles(*chunk);
        for (uint32_t t = 0; t < triangles.Count(); ++t)
        {
            Vector3 corner[3];
            if (!triangles.Corners(t, corner)) continue;
            if (HitTriangle(corner[0], corner[1], corner[2], ray.origin, ray.direction, twoSided, best))
            {
                bestTriangle = int32_t(t);
                bestChunk = int32_t(c);
            }
        }
    }
    if (bestTriangle < 0 || !(distance > best)) return false;
    face.geometry = this;
    face.triangle = uint32_t(bestTriangle);
    face.chunk = uint32_t(bestChunk);
    distance = best;
    return true;
}
