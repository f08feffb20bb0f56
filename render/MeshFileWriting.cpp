#include "render/MeshFileWriting.h"

#include <cstring>

namespace MeshFileWriting {

using MFS = Orvo::MeshFileSupport;

bool WriteVector(Orvo::File& f, const Orvo::Vector3& v)
{
    return MFS::WriteF32(f, v.x) && MFS::WriteF32(f, v.y) && MFS::WriteF32(f, v.z);
}

bool WriteRGB(Orvo::File& f, const Orvo::Color& c, float scale)
{
    return MFS::WriteF32(f, c.r * scale) && MFS::WriteF32(f, c.g * scale) && MFS::WriteF32(f, c.b * scale);
}

void AppendItems(std::vector<uint8_t>& out, Orvo::GeometryChunk& chunk, uint32_t item, size_t bytes, uint32_t vertices,
                 uint32_t item2, size_t bytes2)
{
    const Orvo::VertexItemPtr p = chunk.GetItem(item);
    const Orvo::VertexItemPtr q = item2 ? chunk.GetItem(item2) : Orvo::VertexItemPtr();
    const size_t at = out.size();
    out.resize(at + size_t(vertices) * (bytes + bytes2));
    uint8_t* to = out.data() + at;
    for (uint32_t v = 0; v < vertices; ++v, to += bytes + bytes2)
    {
        if (p) std::memcpy(to, p.address + size_t(v) * p.stride, bytes);
        if (q) std::memcpy(to + bytes, q.address + size_t(v) * q.stride, bytes2);
    }
}

}  // namespace MeshFileWriting
