#pragma once
// Where particles and geometry chunks draw their debug shapes (lines, boxes, labels). The program
// publishes one process-wide debug viewport at start-up; drawing code asks for it with Get() and draws
// nothing while there is none.
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

    // The process's debug viewport, or null.
    static DebugViewport* Get();
    static void Set(DebugViewport* viewport);
};

}  // namespace Orvo
