#pragma once
// The program's debug viewport: the tool has no window, so debug drawing of particles and chunks is
// accepted and discarded. Start-up installs one process-wide instance (Install) as the engine's debug
// viewport; it lives until the process ends.
#include "engine/DebugViewport.h"

#include <cstdint>

class VLDebugVp : public Orvo::DebugViewport
{
public:
    static constexpr uint32_t kColourSlots = 4;

    VLDebugVp();

    bool IsEnabled() const override { return true; }
    void BeginFrame() override {}
    void EndFrame() override {}
    void SetColourSlot(uint32_t) override {}
    void DrawPrimitives(uint32_t, const float*, uint32_t, uint32_t, uint32_t, uint32_t) override {}
    // Hands the two end points to DrawPrimitives as one line (kind 0, flags 0x10000, 2 points, 2 a line).
    void DrawLine(const Orvo::Vector3& from, const Orvo::Vector3& to, uint32_t colour) override;
    void DrawBox(const Orvo::Vector3&, const Orvo::Vector3&, uint32_t) override {}
    void DrawText(const Orvo::Vector3&, std::string_view, uint32_t) override {}

    // The colour of a slot (0xAARRGGBB), and the default it started with.
    uint32_t GetColour(uint32_t slot) const { return slot < kColourSlots ? colours_[slot] : 0; }
    uint32_t GetDefaultColour(uint32_t slot) const { return slot < kColourSlots ? defaults_[slot] : 0; }

    // Makes the process-wide debug viewport (once) and publishes it; returns it.
    static VLDebugVp& Install();

private:
    uint32_t colours_[kColourSlots];
    uint32_t defaults_[kColourSlots];
};
