#pragma once
// A debug viewport for tests: it writes down the lines and labels it is given ("line (x y z) (x y z)
// AARRGGBB", "text name (x y z) AARRGGBB") and hands every call on to `next` when there is one.
// PublishedDebugViewport publishes a viewport for a scope and puts back what was published before.
#include "engine/DebugViewport.h"

#include <cstdio>
#include <string>
#include <vector>

namespace Orvo {

class DebugRecorder : public DebugViewport
{
public:
    explicit DebugRecorder(DebugViewport* next = nullptr) : next_(next) {}

    bool IsEnabled() const override { return enabled; }
    void BeginFrame() override
    {
        if (next_) next_->BeginFrame();
    }
    void EndFrame() override
    {
        if (next_) next_->EndFrame();
    }
    void SetColourSlot(uint32_t slot) override
    {
        if (next_) next_->SetColourSlot(slot);
    }
    void DrawPrimitives(uint32_t kind, const float* points, uint32_t flags, uint32_t count, uint32_t stride,
                        uint32_t colour) override
    {
        if (next_) next_->DrawPrimitives(kind, points, flags, count, stride, colour);
    }
    void DrawLine(const Vector3& from, const Vector3& to, uint32_t colour) override
    {
        drawn.push_back(Line(from, to, colour));
        if (next_) next_->DrawLine(from, to, colour);
    }
    void DrawBox(const Vector3& low, const Vector3& high, uint32_t colour) override
    {
        if (next_) next_->DrawBox(low, high, colour);
    }
    void DrawText(const Vector3& at, std::string_view text, uint32_t colour) override
    {
        drawn.push_back("text " + std::string(text) + " " + Text(at) + " " + Hex(colour));
        if (next_) next_->DrawText(at, text, colour);
    }

    static std::string Line(const Vector3& from, const Vector3& to, uint32_t colour)
    {
        return "line " + Text(from) + " " + Text(to) + " " + Hex(colour);
    }
    static std::string Text(const Vector3& v)
    {
        char s[96];
        std::snprintf(s, sizeof s, "(%g %g %g)", double(v.x), double(v.y), double(v.z));
        return s;
    }
    static std::string Hex(uint32_t colour)
    {
        char s[16];
        std::snprintf(s, sizeof s, "%08X", colour);
        return s;
    }

    bool enabled = true;
    std::vector<std::string> drawn;

private:
    DebugViewport* next_;
};

struct PublishedDebugViewport
{
    explicit PublishedDebugViewport(DebugViewport* viewport) { SetDebugViewport(viewport); }
    ~PublishedDebugViewport() { SetDebugViewport(before); }
    DebugViewport* const before = GetDebugViewport();
};

}  // namespace Orvo
