#pragma once
// Where particles and geometry chunks draw their debug shapes (lines, boxes, labels): the program publishes
// one debug viewport for the process (SetDebugViewport), and debug drawing draws nothing without one.
#include "engine/Vector.h"

#include <cstdint>
#include <string_view>

namespace Orvo {

class DebugViewport
{
public:
    virtual ~DebugViewport() = default;

    // Whether debug drawing is wanted at all.
    virtual bool IsEnabled() const = 0;
    virtual void BeginFrame() = 0;
    virtual void EndFrame() = 0;
    virtual void SetColourSlot(uint32_t slot) = 0;
    // `count` points of three floats each, drawn as primitives of `kind` (0 lines) of `stride` points each
    // (2 for lines) in a 0xAARRGGBB colour.
    virtual void DrawPrimitives(uint32_t kind, const float* points, uint32_t flags, uint32_t count, uint32_t stride,
                                uint32_t colour) = 0;
    virtual void DrawLine(const Vector3& from, const Vector3& to, uint32_t colour) = 0;
    virtual void DrawBox(const Vector3& low, const Vector3& high, uint32_t colour) = 0;
    virtual void DrawText(const Vector3& at, std::string_view text, uint32_t colour) = 0;
};

// The debug viewport of the process: null until the program publishes one. Publishing does not hand over
// ownership; the viewport must outlive every drawing into it.
DebugViewport* GetDebugViewport();
void SetDebugViewport(DebugViewport* viewport);

// The colours (0xAARRGGBB) of the engine's own debug shapes.
constexpr uint32_t kDebugLinkColour = 0xFF0000FFu;  // a particle to its parent
constexpr uint32_t kDebugBoxColour = 0xFF00FF00u;   // a bounding box meant to be seen
constexpr uint32_t kDebugEdgeColour = 0xFFFF0000u;  // the edges of a chunk's primitives
constexpr uint32_t kDebugNameColour = 0xFFFF00FFu;  // a particle's name

}  // namespace Orvo
