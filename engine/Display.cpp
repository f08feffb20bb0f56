#include "engine/Display.h"

#include <cstdio>

namespace Orvo {

void Display::SetFog(float density, int mode)
{
    m_fogDensity = density;
    m_fogMode = mode;
    char text[64];
    std::snprintf(text, sizeof text, "fog %g %d", double(density), mode);
    Record(text);
}

void Display::Record(std::string what)
{
    // Bounded so a long-running process that draws cannot grow without end.
    if (m_record.size() >= 65536)
        m_record.erase(m_record.begin(), m_record.begin() + 32768);
    m_record.push_back(std::move(what));
}

void Display::RecordDraw(size_t primitives)
{
    ++m_drawCalls;
    Record("draw " + std::to_string(primitives));
}

void Display::ClearRecord()
{
    m_record.clear();
    m_drawCalls = 0;
}

} // namespace Orvo
