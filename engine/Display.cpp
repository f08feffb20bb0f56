#include "engine/Display.h"

#include "engine/VertexType.h"

#include <cstdio>
#include <cstring>

namespace Orvo {

Display::Display(Kind kind) : kind_(kind) {}

bool Display::SupportsCapability(uint32_t capability) const
{
    auto it = capabilities_.find(capability);
    return it != capabilities_.end() && it->second;
}

void Display::SetCapability(uint32_t capability, bool supported) { capabilities_[capability] = supported; }

void Display::ConvertColorArray(uint32_t*, size_t) const {}

DisplayBuffer* Display::CreateStaticVertexBuffer(size_t vertexCount, const VertexType& type)
{
    if (failBuffers_) return nullptr;
    Record("create vertex buffer " + std::to_string(vertexCount) + " x " + std::to_string(type.GetStride()));
    auto* buffer = new DisplayBuffer(true, vertexCount * type.GetStride());
    buffer->AddRef();
    return buffer;
}

DisplayBuffer* Display::CreateStaticIndexBuffer(size_t indexCount)
{
    if (failBuffers_) return nullptr;
    Record("create index buffer " + std::to_string(indexCount));
    auto* buffer = new DisplayBuffer(false, indexCount * sizeof(uint16_t));
    buffer->AddRef();
    return buffer;
}

bool Display::UploadVertices(DisplayBuffer& buffer, const void* data, size_t bytes)
{
    if (failUploads_ || bytes > buffer.GetCapacity() || (bytes && data == nullptr)) return false;
    const auto* b = static_cast<const uint8_t*>(data);
    buffer.Data().assign(b, b + bytes);
    Record("upload vertices " + std::to_string(bytes));
    return true;
}

int Display::UploadIndices(DisplayBuffer& buffer, const uint16_t* indices, size_t count)
{
    const size_t bytes = count * sizeof(uint16_t);
    if (failUploads_ || bytes > buffer.GetCapacity() || (count && indices == nullptr)) return -1;
    buffer.Data().resize(bytes);
    if (bytes) std::memcpy(buffer.Data().data(), indices, bytes);
    Record("upload indices " + std::to_string(count));
    return static_cast<int>(count);
}

void Display::SetFog(float density, int mode)
{
    fogDensity_ = density;
    fogMode_ = mode;
    char text[64];
    std::snprintf(text, sizeof text, "fog %g %d", double(density), mode);
    Record(text);
}

void Display::Record(std::string what)
{
    // Bounded so a long-running process that draws cannot grow without end.
    if (record_.size() >= 65536) record_.erase(record_.begin(), record_.begin() + 32768);
    record_.push_back(std::move(what));
}

void Display::RecordDraw(size_t primitives)
{
    ++drawCalls_;
    Record("draw " + std::to_string(primitives));
}

void Display::ClearRecord()
{
    record_.clear();
    drawCalls_ = 0;
}

}  // namespace Orvo
