#include "engine/Display.h"

#include <cstdio>

namespace Orvo {

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
