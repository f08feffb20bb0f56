#pragma once
// Texture combiners: the per-pixel programs of the display. A registered text names its combiner and
// declares its constant registers with their defaults:
//
//     header(Name)
//     {
//         reg 0(LightDiff) - 0.0, 0.0, 0.0, 1.0;
//     }
//     API(common) { ps.1.1 ... c[^LightDiff] ... }
//
// As with vertex programs, texts are registered with a display's manager, which hands out one
// shared combiner per name. Setting a register, enabling and disabling are recorded on the display.
#include "engine/Color.h"
#include "engine/PString.h"
#include "engine/ProgramText.h"
#include "engine/ReferenceCount.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace Orvo {

class Display;

struct CombinerRegister
{
    uint32_t number = 0;
    PString name;
    Color value;
};

class TextureCombiner : public ReferenceCount
{
public:
    static constexpr uint32_t kRegisterCount = 8;

    TextureCombiner(Display* display, const PString& name, const std::vector<CombinerRegister>& registers);

    const PString& GetName() const { return name_; }
    const std::vector<CombinerRegister>& GetDeclaredRegisters() const { return declared_; }
    // Register n (below kRegisterCount; others are ignored).
    void SetConstantRegister(uint32_t n, const Color& c);
    Color GetConstantRegister(uint32_t n) const { return n < kRegisterCount ? registers_[n] : Color(); }
    void Enable();
    void Disable();
    bool IsEnabled() const { return enabled_; }

private:
    Display* display_;
    PString name_;
    std::vector<CombinerRegister> declared_;
    Color registers_[kRegisterCount];
    bool enabled_ = false;
};

class TextureCombinerManager
{
public:
    enum [[nodiscard]] Result : int{
        Found = 0,
        NotRegistered = 1,
        Unreadable = 2,
    };

    // Enters a combiner text under its name for this manager's display (a later one replaces it).
    void RegisterBuiltInPrograms(const PString& name, std::string_view text);
    bool GetBuiltInProgramText(const PString& name, std::string& text) const;
    // Reads the header block of a text: false when there is none or it is malformed.
    static bool ReadHeader(std::string_view text, PString& name, std::vector<CombinerRegister>& out);

    explicit TextureCombinerManager(Display* display) : display_(display) {}
    ~TextureCombinerManager();
    TextureCombinerManager(const TextureCombinerManager&) = delete;
    TextureCombinerManager& operator=(const TextureCombinerManager&) = delete;

    // Found with one reference added to `out`, else a failure (out null) explained by GetLastError.
    int FindCombiner(const PString& name, TextureCombiner*& out);
    const std::string& GetLastError() const { return lastError_; }

private:
    Display* display_;
    ProgramTextTable texts_;
    std::map<PString, TextureCombiner*> combiners_;  // each holds one reference
    std::string lastError_;
};

}  // namespace Orvo
