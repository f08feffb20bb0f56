#include "render/VLDebugVp.h"

VLDebugVp::VLDebugVp()
{
    // Blue, green, red and magenta (0xAARRGGBB), opaque.
    static constexpr uint32_t kColours[kColourSlots] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFF00FFu};
    for (uint32_t i = 0; i < kColourSlots; ++i) colours_[i] = defaults_[i] = kColours[i];
}

void VLDebugVp::DrawLine(const Orvo::Vector3& from, const Orvo::Vector3& to, uint32_t colour)
{
    const float pair[6] = {from.x, from.y, from.z, to.x, to.y, to.z};
    DrawPrimitives(0, pair, 0x10000, 2, 2, colour);
}

VLDebugVp& VLDebugVp::Install()
{
    static VLDebugVp viewport;  // lives until the process ends
    Orvo::DebugViewport::Set(&viewport);
    return viewport;
}
