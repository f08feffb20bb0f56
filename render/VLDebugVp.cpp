#include "render/VLDebugVp.h"

VLDebugVp::VLDebugVp()
{
    // The slots hold the colours of the engine's own debug shapes.
    static constexpr uint32_t kColours[kColourSlots] = {Orvo::kDebugLinkColour, Orvo::kDebugBoxColour,
                                                        Orvo::kDebugEdgeColour, Orvo::kDebugNameColour};
    for (uint32_t slot = 0; slot < kColourSlots; ++slot) colours_[slot] = defaults_[slot] = kColours[slot];
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
