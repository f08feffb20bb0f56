#include "engine/TextureCombiner.h"

#include "engine/Display.h"
#include "engine/Log.h"
#include "engine/ProgramText.h"

#include <cstdlib>
#include <string>

namespace Orvo {
namespace {

bool ReadFloat(std::string_view text, float& out)
{
    const std::string s(TrimBlanks(text));
    if (s.empty()) return false;
    char* end = nullptr;
    out = std::strtof(s.c_str(), &end);
    return end == s.c_str() + s.size();
}

// "reg N(Name) - r, g, b, a" into a register; false when malformed.
bool ReadRegisterStatement(std::string_view s, CombinerRegister& r)
{
    constexpr std::string_view keyword = "reg";
    if (!s.starts_with(keyword) || s.size() == keyword.size() ||
        (s[keyword.size()] != ' ' && s[keyword.size()] != '\t'))
        return false;
    s = TrimBlanks(s.substr(keyword.size()));
    const size_t open = s.find('('), close = s.find(')'),
                 dash = s.find('-', close == std::string_view::npos ? 0 : close);
    if (open == std::string_view::npos || close == std::string_view::npos || dash == std::string_view::npos ||
        !(open < close))
        return false;
    float number = 0.0f;
    if (!ReadFloat(s.substr(0, open), number) || number < 0.0f || number >= float(TextureCombiner::kRegisterCount) ||
        float(uint32_t(number)) != number)
        return false;
    r.number = uint32_t(number);
    r.name = PString(TrimBlanks(s.substr(open + 1, close - open - 1)));
    std::string_view values = s.substr(dash + 1);
    float v[4];
    for (int i = 0; i < 4; ++i)
    {
        const size_t comma = values.find(',');
        if ((i < 3) != (comma != std::string_view::npos) || !ReadFloat(values.substr(0, comma), v[i])) return false;
        if (comma != std::string_view::npos) values.remove_prefix(comma + 1);
    }
    r.value = Color(v[0], v[1], v[2], v[3]);
    return !r.name.empty();
}

}  // namespace

TextureCombiner::TextureCombiner(Display* display, const PString& name, const std::vector<CombinerRegister>& registers)
    : display_(display), name_(name), declared_(registers)
{
    for (const CombinerRegister& r : registers) registers_[r.number] = r.value;
}

void TextureCombiner::SetConstantRegister(uint32_t n, const Color& c)
{
    if (n >= kRegisterCount) return;
    registers_[n] = c;
    if (display_ && display_->IsRecording())
        display_->Record(name_.str() + " r" + std::to_string(n) + " = " + Display::FormatColor(c));
}

void TextureCombiner::Enable()
{
    enabled_ = true;
    if (display_ && display_->IsRecording()) display_->Record("enable " + name_.str());
}

void TextureCombiner::Disable()
{
    enabled_ = false;
    if (display_ && display_->IsRecording()) display_->Record("disable " + name_.str());
}

void TextureCombinerManager::RegisterBuiltInPrograms(const PString& name, std::string_view text)
{
    texts_.Register(name, text);
}

bool TextureCombinerManager::GetBuiltInProgramText(const PString& name, std::string& text) const
{
    return texts_.Get(name, text);
}

bool TextureCombinerManager::ReadHeader(std::string_view text, PString& name, std::vector<CombinerRegister>& out)
{
    std::string_view declared, body;
    if (!FindDeclarationBlock(text, "header", declared, body)) return false;
    std::vector<CombinerRegister> read;
    bool ok = true;
    ForEachStatement(body, [&](std::string_view s) {
        CombinerRegister r;
        if (ReadRegisterStatement(s, r))
            read.push_back(r);
        else
            ok = false;
    });
    if (!ok) return false;
    name = PString(declared);
    out = std::move(read);
    return true;
}

TextureCombinerManager::~TextureCombinerManager()
{
    for (auto& [name, combiner] : combiners_) combiner->Release();
}

int TextureCombinerManager::FindCombiner(const PString& name, TextureCombiner*& out)
{
    out = nullptr;
    auto found = combiners_.find(name);
    if (found != combiners_.end())
    {
        out = found->second;
        out->AddRef();
        return Found;
    }
    std::string text;
    int result = Found;
    PString declared;
    std::vector<CombinerRegister> registers;
    if (!GetBuiltInProgramText(name, text))
    {
        lastError_ = "texture combiner '" + name.str() + "' is not registered";
        result = NotRegistered;
    }
    else if (!ReadHeader(text, declared, registers) || declared != name)
    {
        lastError_ = "texture combiner '" + name.str() + "' has no readable header";
        result = Unreadable;
    }
    if (result != Found)
    {
        Log::Printf("TextureCombinerManager::FindCombiner> %s", lastError_.c_str());
        return result;
    }
    auto* combiner = new TextureCombiner(display_, name, registers);
    combiner->AddRef();
    combiners_[name] = combiner;
    out = combiner;
    out->AddRef();
    return Found;
}

}  // namespace Orvo
