#pragma once
// Vertex programs. A program text registered under a set name declares the set's programs, each with the
// vertex type it reads and the features its body is built with:
//
//     vertexProgram(SetName)
//     {
//         program Name(PNTA) = ParallelLight, OneTex, Fog;
//     }
//     API(common) { ... %ifdef ParallelLight ... %endif ... }
//
// Texts are registered with a display's manager (RegisterBuiltInPrograms), which reads the
// declarations when a program of the set is first asked for and hands out one shared program object per
// declared program. The body is the display's to compile: nothing here runs it. Local constants set on a
// program are recorded on its display, so that a test sees what a material handed it.
#include "engine/Color.h"
#include "engine/PString.h"
#include "engine/ProgramText.h"
#include "engine/ReferenceCount.h"
#include "engine/Vector.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace Orvo {

class Display;

struct VertexProgramDeclaration
{
    PString name;
    PString vertexType;
    std::vector<PString> features;
};

class VertexProgram : public ReferenceCount
{
public:
    static constexpr uint32_t kConstantCount = 96;

    VertexProgram(Display* display, const PString& setName, const VertexProgramDeclaration& declaration);

    const PString& GetName() const { return declaration_.name; }
    const PString& GetSetName() const { return setName_; }
    const PString& GetVertexTypeName() const { return declaration_.vertexType; }
    bool HasFeature(std::string_view feature) const;

    // Local constant n (below kConstantCount; others are ignored): a vector (w = 0) or a colour.
    void SetLocalConstant(uint32_t n, const Vector3& v);
    void SetLocalConstant(uint32_t n, const Color& c);
    // The program's own constant operation; here the same as SetLocalConstant.
    virtual void SetConstant(uint32_t n, const Color& c) { SetLocalConstant(n, c); }
    // (0, 0, 0, 0) for a constant never set.
    Color GetLocalConstant(uint32_t n) const { return n < kConstantCount ? constants_[n] : Color(); }

private:
    Display* display_;
    PString setName_;
    VertexProgramDeclaration declaration_;
    Color constants_[kConstantCount];
};

class VertexProgramManager
{
public:
    enum [[nodiscard]] Result : int{
        Found = 0,
        SetNotRegistered = 1,
        SetUnreadable = 2,
        ProgramNotDeclared = 3,
    };

    // Enters a program text under its set name for this manager's display; a later text of the same name
    // replaces the earlier one. The text is kept unchanged.
    void RegisterBuiltInPrograms(const PString& setName, std::string_view text);
    // The registered text of a set; false when none is.
    bool GetBuiltInProgramText(const PString& setName, std::string& text) const;
    // Reads the declaration block of a text: false when there is none or it is malformed.
    static bool ReadDeclarations(std::string_view text, PString& setName, std::vector<VertexProgramDeclaration>& out);

    explicit VertexProgramManager(Display* display) : display_(display) {}
    ~VertexProgramManager();
    VertexProgramManager(const VertexProgramManager&) = delete;
    VertexProgramManager& operator=(const VertexProgramManager&) = delete;

    // The program `name` declared by the set `setName`: Found with one reference added to `out`, else a
    // failure (out null) whose reason GetLastError gives and the engine log shows.
    int FindProgram(const PString& setName, const PString& name, VertexProgram*& out);
    const std::string& GetLastError() const { return lastError_; }

private:
    int Fail(int result, std::string text);

    Display* display_;
    ProgramTextTable texts_;
    std::map<std::pair<PString, PString>, VertexProgram*> programs_;  // each holds one reference
    std::string lastError_;
};

}  // namespace Orvo
