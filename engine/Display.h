#pragma once
// The render kernel's display. There is no GPU here: both the hidden OpenGL display and the null
// renderer draw nothing. The display only records what was asked of it (state changes, draw calls), so
// that tests can see what a material or a scene did.
#include <cstddef>
#include <string>
#include <vector>

namespace Orvo {

class Display
{
public:
    enum class Kind
    {
        Null,
        HiddenOpenGL
    };

    explicit Display(Kind kind) : kind_(kind) {}

    Kind GetKind() const { return kind_; }
    const char* GetKindName() const { return kind_ == Kind::Null ? "Null" : "OpenGL (hidden)"; }

    void SetFog(float density, int mode);
    float GetFogDensity() const { return fogDensity_; }
    int GetFogMode() const { return fogMode_; }

    // A state change or draw call, recorded as a short text.
    void Record(std::string what);
    void RecordDraw(size_t primitives);
    const std::vector<std::string>& GetRecord() const { return record_; }
    size_t GetDrawCalls() const { return drawCalls_; }
    void ClearRecord();

private:
    Kind kind_;
    float fogDensity_ = 0.0f;
    int fogMode_ = 0;
    size_t drawCalls_ = 0;
    std::vector<std::string> record_;
};

}  // namespace Orvo
