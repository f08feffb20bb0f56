#pragma once
// The render kernel's display. There is no GPU here: both the hidden OpenGL display and the null
// renderer draw nothing. The display only records what was asked of it (state changes, draw calls), so
// that tests can see what a material or a scene did.
#include <cstddef>
#include <string>
#include <vector>

namespace Orvo {

class Display {
public:
    enum class Kind { Null, HiddenOpenGL };

    explicit Display(Kind kind) : m_kind(kind) {}

    Kind GetKind() const { return m_kind; }
    const char* GetKindName() const { return m_kind == Kind::Null ? "Null" : "OpenGL (hidden)"; }

    void SetFog(float density, int mode);
    float GetFogDensity() const { return m_fogDensity; }
    int GetFogMode() const { return m_fogMode; }

    // A state change or draw call, recorded as a short text.
    void Record(std::string what);
    void RecordDraw(size_t primitives);
    const std::vector<std::string>& GetRecord() const { return m_record; }
    size_t GetDrawCalls() const { return m_drawCalls; }
    void ClearRecord();

private:
    Kind m_kind;
    float m_fogDensity = 0.0f;
    int m_fogMode = 0;
    size_t m_drawCalls = 0;
    std::vector<std::string> m_record;
};

} // namespace Orvo
