#pragma once
// The render kernel's display. There is no GPU here: both the hidden OpenGL display and the null
// renderer draw nothing. The display records what was asked of it (state changes, buffer uploads, draw
// calls), so that tests can see what a material or a scene did, and answers capability questions from a
// table a test can change, so that both sides of every capability test can run.
#include "engine/ReferenceCount.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Orvo {

class VertexType;

// A static vertex or index buffer the display made: it holds a copy of what was uploaded.
class DisplayBuffer : public ReferenceCount
{
public:
    DisplayBuffer(bool vertices, size_t capacityBytes) : vertices_(vertices), capacity_(capacityBytes) {}
    bool HoldsVertices() const { return vertices_; }
    size_t GetCapacity() const { return capacity_; }
    const std::vector<uint8_t>& GetData() const { return data_; }
    std::vector<uint8_t>& Data() { return data_; }

private:
    bool vertices_;
    size_t capacity_;
    std::vector<uint8_t> data_;
};

class Display
{
public:
    enum class Kind
    {
        Null,
        HiddenOpenGL
    };
    // Capability numbers the program asks about.
    enum Capability : uint32_t
    {
        CapHardwareSkinning = 29,
    };

    explicit Display(Kind kind);

    Kind GetKind() const { return kind_; }
    const char* GetKindName() const { return kind_ == Kind::Null ? "Null" : "OpenGL (hidden)"; }

    // Capabilities: every one is "no" until set.
    bool SupportsCapability(uint32_t capability) const;
    void SetCapability(uint32_t capability, bool supported);
    uint32_t GetTextureStageCount() const { return textureStages_; }
    void SetTextureStageCount(uint32_t stages) { textureStages_ = stages; }

    // Vertex colours as the file stores them (0xAARRGGBB) into the display's own order, in place. This
    // display keeps the file's order.
    void ConvertColorArray(uint32_t* colours, size_t count) const;

    // Static buffers. Null when creation is made to fail (SetFailBufferCreation).
    DisplayBuffer* CreateStaticVertexBuffer(size_t vertexCount, const VertexType& type);
    DisplayBuffer* CreateStaticIndexBuffer(size_t indexCount);
    // Copies into a buffer; false (vertices) or -1 (indices) when uploads are made to fail or the data
    // does not fit.
    bool UploadVertices(DisplayBuffer& buffer, const void* data, size_t bytes);
    int UploadIndices(DisplayBuffer& buffer, const uint16_t* indices, size_t count);
    void SetFailBufferCreation(bool fail) { failBuffers_ = fail; }
    void SetFailUploads(bool fail) { failUploads_ = fail; }

    // The frame being drawn.
    uint32_t GetCurrentFrame() const { return frame_; }
    void NextFrame() { ++frame_; }

    void SetFog(float density, int mode);
    float GetFogDensity() const { return fogDensity_; }
    int GetFogMode() const { return fogMode_; }

    // A state change or draw call, recorded as a short text.
    void Record(std::string what);
    void RecordDraw(size_t primitives);
    const std::vector<std::string>& GetRecord() const { return record_; }
    size_t GetDrawCalls() const { return drawCalls_; }
    void ClearRecord();

private:
    Kind kind_;
    std::map<uint32_t, bool> capabilities_;
    uint32_t textureStages_ = 8;
    bool failBuffers_ = false;
    bool failUploads_ = false;
    uint32_t frame_ = 1;
    float fogDensity_ = 0.0f;
    int fogMode_ = 0;
    size_t drawCalls_ = 0;
    std::vector<std::string> record_;
};

}  // namespace Orvo
