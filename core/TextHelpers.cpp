#include "core/TextHelpers.h"

#include "engine/PString.h"
#include "engine/String.h"
#include "engine/TextCase.h"

#include <cstdarg>
#include <string>

int ExpandTextMacro(Orvo::String& text, std::string_view name, std::string_view value)
{
    std::string macro;
    if (name.size() >= 3 && name.substr(0, 2) == "$(" && name.back() == ')')
        macro = name;
    else
        macro = "$(" + std::string(name) + ")";
    if (macro.size() <= 3) return 0;  // "$()" names nothing

    std::string& s = text.str();
    int count = 0;
    int at = Orvo::FindText(s, macro, 0, true);
    while (at >= 0)
    {
        s.replace(static_cast<size_t>(at), macro.size(), value);
        ++count;
        at = Orvo::FindText(s, macro, at + static_cast<int>(value.size()), true);
    }
    return count;
}

bool ReplaceFirstOccurrence(Orvo::String& text, const char* find, const char* replacement)
{
    if (!find || !*find) return false;
    std::string& s = text.str();
    const size_t at = s.find(find);
    if (at == std::string::npos) return false;
    s.replace(at, std::char_traits<char>::length(find), replacement ? replacement : "");
    return true;
}

bool ReplaceFirstOccurrenceFormatted(Orvo::String& text, const char* find, const char* format, ...)
{
    if (!format) return false;
    va_list args;
    va_start(args, format);
    const Orvo::String value = Orvo::String::FormatV(format, args);
    va_end(args);
    return ReplaceFirstOccurrence(text, find, value.c_str());
}

void PStringToLower(Orvo::PString& text)
{
    Orvo::PString lower = text.ToLower();
    if (lower != text) text = lower;
}

bool IsTextureTxtName(std::string_view name)
{
    constexpr std::string_view suffix = ".texture.txt";
    return name.size() >= suffix.size() && Orvo::EqualsNoCase(name.substr(name.size() - suffix.size()), suffix);
}

std::string TextureSetAsideName(std::string_view name)
{
    if (!IsTextureTxtName(name)) return {};
    return std::string(name.substr(0, name.size() - std::string_view(".texture.txt").size())) + ".convert-tex.txt";
}

std::string SetAsideTextureOwnName(std::string_view name)
{
    constexpr std::string_view suffix = ".convert-tex.txt";
    if (!name.ends_with(suffix)) return {};
    return std::string(name.substr(0, name.size() - suffix.size())) + ".texture.txt";
}
