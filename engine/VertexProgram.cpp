#include "engine/VertexProgram.h"

#include "engine/Display.h"
#include "engine/Log.h"
#include "engine/ProgramText.h"

#include <cstdio>

namespace Orvo {
namespace {

// "Name(Type) = A, B, C" into a declaration; false when malformed.
bool ReadProgramStatement(std::string_view s, VertexProgramDeclaration& d)
{
    constexpr std::string_view keyword = "program";
    if (!s.starts_with(keyword) || s.size() == keyword.size() ||
        (s[keyword.size()] != ' ' && s[keyword.size()] != '\t'))
        return false;
    s = TrimBlanks(s.substr(keyword.size()));
    const size_t open = s.find('('), close = s.find(')'), equals = s.find('=');
    if (open == std::string_view::npos || close == std::string_view::npos || equals == std::string_view::npos ||
        !(open < close && close < equals))
        return false;
    d.name = PString(TrimBlanks(s.substr(0, open)));
    d.vertexType = PString(TrimBlanks(s.substr(open + 1, close - open - 1)));
    if (d.name.empty() || d.vertexType.empty()) return false;
    std::string_view features = s.substr(equals + 1);
    d.features.clear();
    while (true)
    {
        const size_t comma = features.find(',');
        const std::string_view f = TrimBlanks(features.substr(0, comma));
        if (f.empty()) return false;
        d.features.emplace_back(f);
        if (comma == std::string_view::npos) break;
        features.remove_prefix(comma + 1);
    }
    return true;
}

}  // namespace

VertexProgram::VertexProgram(Display* display, const PString& setName, const VertexProgramDeclaration& declaration)
    : display_(display), setName_(setName), declaration_(declaration)
{}

bool VertexProgram::HasFeature(std::string_view feature) const
{
    for (const PString& f : declaration_.features)
        if (f.View() == feature) return true;
    return false;
}

void VertexProgram::SetLocalConstant(uint32_t n, const Vector3& v)
{
    if (n >= kConstantCount) return;
    constants_[n] = Color(v.x, v.y, v.z, 0.0f);
    if (display_ == nullptr || !display_->IsRecording()) return;
    char text[96];
    std::snprintf(text, sizeof text, " c%u = (%g %g %g)", n, double(v.x), double(v.y), double(v.z));
    display_->Record(GetName().str() + text);
}

void VertexProgram::SetLocalConstant(uint32_t n, const Color& c)
{
    if (n >= kConstantCount) return;
    constants_[n] = c;
    if (display_ && display_->IsRecording())
        display_->Record(GetName().str() + " c" + std::to_string(n) + " = " + Display::FormatColor(c));
}

void VertexProgramManager::RegisterBuiltInPrograms(const PString& setName, std::string_view text)
{
    texts_.Register(setName, text);
}

bool VertexProgramManager::GetBuiltInProgramText(const PString& setName, std::string& text) const
{
    return texts_.Get(setName, text);
}

bool VertexProgramManager::ReadDeclarations(std::string_view text, PString& setName,
                                            std::vector<VertexProgramDeclaration>& out)
{
    std::string_view name, body;
    if (!FindDeclarationBlock(text, "vertexProgram", name, body)) return false;
    std::vector<VertexProgramDeclaration> read;
    bool ok = true;
    ForEachStatement(body, [&](std::string_view s) {
        VertexProgramDeclaration d;
        if (ReadProgramStatement(s, d))
            read.push_back(std::move(d));
        else
            ok = false;
    });
    if (!ok || read.empty()) return false;
    setName = PString(name);
    out = std::move(read);
    return true;
}

VertexProgramManager::~VertexProgramManager()
{
    for (auto& [key, program] : programs_) program->Release();
}

int VertexProgramManager::Fail(int result, std::string text)
{
    lastError_ = std::move(text);
    Log::Printf("VertexProgramManager::FindProgram> %s", lastError_.c_str());
    return result;
}

int VertexProgramManager::FindProgram(const PString& setName, const PString& name, VertexProgram*& out)
{
    out = nullptr;
    auto found = programs_.find({setName, name});
    if (found != programs_.end())
    {
        out = found->second;
        out->AddRef();
        return Found;
    }
    std::string text;
    if (!GetBuiltInProgramText(setName, text))
        return Fail(SetNotRegistered, "vertex program set '" + setName.str() + "' is not registered");
    PString declaredSet;
    std::vector<VertexProgramDeclaration> declarations;
    if (!ReadDeclarations(text, declaredSet, declarations) || declaredSet != setName)
        return Fail(SetUnreadable, "vertex program set '" + setName.str() + "' has no readable declarations");
    for (const VertexProgramDeclaration& d : declarations)
        if (d.name == name)
        {
            auto* program = new VertexProgram(display_, setName, d);
            program->AddRef();
            programs_[{setName, name}] = program;
            out = program;
            out->AddRef();
            return Found;
        }
    return Fail(ProgramNotDeclared,
                "program '" + name.str() + "' is not declared in vertex program set '" + setName.str() + "'");
}

}  // namespace Orvo
