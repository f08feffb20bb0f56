#include "render/MeshTriangles.h"

using namespace Orvo;

uint32_t ChunkTriangleCount(const GeometryChunk& chunk)
{
    const uint32_t n = chunk.GetIndexArray() ? chunk.GetNumIndices() : 0;
    switch (chunk.GetFlags() & GeometryChunk::PrimitiveMask)
    {
    case GeometryChunk::PrimitiveList: return n / 3;
    case GeometryChunk::PrimitiveStrip:
    case GeometryChunk::PrimitiveFan: return n >= 3 ? n - 2 : 0;
    default: return 0;
    }
}

ChunkTriangles::ChunkTriangles(GeometryChunk& chunk)
    : indices_(chunk.GetIndexArray()), count_(ChunkTriangleCount(chunk)),
      primitive_(chunk.GetFlags() & GeometryChunk::PrimitiveMask), vertices_(chunk.GetNumVertices()),
      positions_(chunk.GetVector3Array(ItemPosition))
{}

bool ChunkTriangleIndices(GeometryChunk& chunk, uint32_t t, uint16_t corners[3])
{
    return ChunkTriangles(chunk).Indices(t, corners);
}

bool ChunkTriangleCorners(GeometryChunk& chunk, uint32_t t, Vector3 corners[3])
{
    return ChunkTriangles(chunk).Corners(t, corners);
}
