#pragma once
// The program's debug viewport: the tool has no window, so debug drawing of particles and chunks is
// accepted and discarded. Start-up builds one process-wide instance and publishes it as the engine's debug
// viewport (Publish); it lives until the process ends. What a viewport would keep of its drawing (the
// primitives by kind and colour slot, the labels) is laid out but stays empty.
#include "engine/DebugViewport.h"
#include "render/DebugTextList.h"
#include "render/StepArray.h"

#include <cstddef>
#include <cstdint>

// One primitive as a viewport that kept its drawing would hold it: up to three points and its flags.
struct DebugPrimitive
{
    float points[9];
    uint32_t pointCount;
    uint32_t flags;
};

class VLDebugVp : public Orvo::DebugViewport
{
public:
    static constexpr uint32_t kColourSlots = 4;
    // The primitive kinds a table is kept for: lines (kind 0) and the rest.
    static constexpr uint32_t kPrimitiveTables = 2;
    static constexpr size_t kTextGrowthStep = 1000;

    VLDebugVp();

    // Builds the process's debug viewport the first time and publishes it as the engine's debug viewport
    // (again on every call, so that it is the one published after start-up).
    static VLDebugVp& Publish();

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
    uint8_t GetEnabledFlag() const { return enabled_; }
    // What is kept: the primitives of a table (below kPrimitiveTables) and colour slot, and the labels.
    const StepArray<DebugPrimitive>& GetPrimitives(uint32_t table, uint32_t slot) const
    {
        return primitives_[table][slot];
    }
    const DebugTextList& GetTexts() const { return texts_; }

private:
    StepArray<DebugPrimitive> primitives_[kPrimitiveTables][kColourSlots];
    DebugTextList texts_{kTextGrowthStep};
    uint32_t colours_[kColourSlots];
    uint32_t defaults_[kColourSlots];
    uint8_t enabled_ = 1;
};
