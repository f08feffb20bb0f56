#include "render/VLDebugVp.h"

VLDebugVp::VLDebugVp()
{
    // Blue, green, red and magenta (0xAARRGGBB), opaque.
    static constexpr uint32_t kColours[kColourSlots] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFF00FFu};
    for (uint32_t slot = 0; slot < kColourSlots; ++slot)
    {
        for (auto& table : primitives_) table[slot].SetSize(0);
        texts_.SetSize(0, long(kTextGrowthStep));
        colours_[slot] = defaults_[slot] = kColours[slot];
    }
    enabled_ = 1;
}

VLDebugVp& VLDebugVp::Publish()
{
    // Process-wide: the engine's particles and chunks draw into this one viewport until the process ends.
    static VLDebugVp* const sink = new VLDebugVp();
    Orvo::SetDebugViewport(sink);
    return *sink;
}

void VLDebugVp::DrawLine(const Orvo::Vector3& from, const Orvo::Vector3& to, uint32_t colour)
{
    const float pair[6] = {from.x, from.y, from.z, to.x, to.y, to.z};
    DrawPrimitives(0, pair, 0x10000, 2, 2, colour);
}
