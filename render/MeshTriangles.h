#pragma once
// The triangles of a geometry chunk, read from its 16-bit indices by the chunk's primitive type (the low
// five bits of its flags): a list takes three indices a triangle; a strip and a fan one more index a
// triangle after the first two (in a strip every odd triangle has its last two corners swapped, so all
// triangles keep one winding; a fan turns around index 0). Other primitive types, and strips or fans of
// fewer than three indices, hold no triangles. Nothing is read outside the index array, and a triangle
// with an index that names no vertex of the chunk is not a triangle.
#include "engine/GeometryChunk.h"
#include "engine/Vector.h"

#include <cstdint>
#include <cstring>

// How many triangles the chunk's indices describe.
uint32_t ChunkTriangleCount(const Orvo::GeometryChunk& chunk);

// One chunk's triangles, with what reading them needs looked up once.
class ChunkTriangles
{
public:
    explicit ChunkTriangles(Orvo::GeometryChunk& chunk);
    // No triangles.
    ChunkTriangles() : indices_(nullptr), count_(0), primitive_(0), vertices_(0) {}

    uint32_t Count() const { return count_; }
    // The three vertex indices of triangle `t`; false when there is no such triangle.
    bool Indices(uint32_t t, uint16_t corners[3]) const
    {
        if (t >= count_) return false;
        switch (primitive_)
        {
        case Orvo::GeometryChunk::PrimitiveList:
            corners[0] = indices_[3 * size_t(t)];
            corners[1] = indices_[3 * size_t(t) + 1];
            corners[2] = indices_[3 * size_t(t) + 2];
            break;
        case Orvo::GeometryChunk::PrimitiveStrip:
            corners[0] = indices_[t];
            corners[1] = indices_[t + ((t & 1) ? 2 : 1)];
            corners[2] = indices_[t + ((t & 1) ? 1 : 2)];
            break;
        default:  // fan
            corners[0] = indices_[0];
            corners[1] = indices_[t + 1];
            corners[2] = indices_[t + 2];
            break;
        }
        return corners[0] < vertices_ && corners[1] < vertices_ && corners[2] < vertices_;
    }
    // The corner positions of triangle `t`; false when there is no such triangle or no positions.
    bool Corners(uint32_t t, Orvo::Vector3 corners[3]) const
    {
        uint16_t index[3];
        if (positions_.address == nullptr || !Indices(t, index)) return false;
        for (int k = 0; k < 3; ++k)
            std::memcpy(&corners[k], positions_.address + size_t(index[k]) * positions_.stride, 12);
        return true;
    }

private:
    const uint16_t* indices_;
    uint32_t count_;
    uint32_t primitive_;
    uint32_t vertices_;
    Orvo::VertexItemPtr positions_;
};

// Single lookups (each looks the chunk up again).
bool ChunkTriangleIndices(Orvo::GeometryChunk& chunk, uint32_t t, uint16_t corners[3]);
bool ChunkTriangleCorners(Orvo::GeometryChunk& chunk, uint32_t t, Orvo::Vector3 corners[3]);
